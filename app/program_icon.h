// The program's own icon (the SVG installed into the hicolor theme as "orvex2").
#pragma once

#include <QIcon>

namespace orvex2 {

QIcon ProgramIcon();

}  // namespace orvex2
