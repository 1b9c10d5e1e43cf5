// What the four dialogs share: the primary screen in twips, position restore and save by the
// window-geometry rule (the shared font for a list of controls is in window_support.h).
#pragma once

#include "results/window_support.h"

#include <QString>
#include <initializer_list>

#include "foundation/settings.h"

class QWidget;

namespace orvex2 {

ScreenSize PrimaryScreenTwips();
// Restores a dialog's stored position (and size for DialogSized); false when a stored value
// does not convert.
bool RestoreDialogGeometry(QWidget* dialog, const QString& prefix, WindowKind kind);
void SaveDialogGeometry(const QWidget* dialog, const QString& prefix, WindowKind kind);

}  // namespace orvex2
