// Small helpers every window shares: twips, the shared font, geometry of MDI children, and the
// load-failure box that ends the program.
#pragma once

#include <QFont>
#include <QString>
#include <functional>
#include <initializer_list>

#include "foundation/settings.h"

class QWidget;

namespace orvex2 {

// 1440 twips per inch at Qt's 96 logical dpi: 15 twips per pixel.
int TwipsToPixels(double twips);
double PixelsToTwips(int pixels);

// The font of the option record (Font_Name, Font_Size, Font_Bold, Font_Italic). The Windows
// names "ＭＳ 明朝", "ＭＳ ゴシック", "MS UI Gothic" are substituted with IPA fonts for display.
QFont SharedFont();

// Sets the shared font on each widget; a failing one is skipped.
void ApplySharedFont(std::initializer_list<QWidget*> widgets);

// Geometry of a window in twips: of its QMdiSubWindow frame when it sits in one, else its own.
Geometry WindowGeometry(const QWidget* window);
void ApplyWindowGeometry(QWidget* window, const Geometry& g);

// "Orvex2 mdiStatus Form_Load ERR" and the like: an OK box titled "Orvex2", then exit status 1.
// Tests replace the handler to observe it instead of ending.
void LoadFailure(const QString& text);
void SetLoadFailureHandler(std::function<void(const QString&)> handler);

}  // namespace orvex2
