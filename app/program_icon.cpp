// The program's icon, from the resource built into the program.
#include "app/program_icon.h"

namespace orvex2 {

QIcon ProgramIcon() { return QIcon(QStringLiteral(":/orvex2/orvex2.svg")); }

}  // namespace orvex2
