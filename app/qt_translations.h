// Qt's own texts (standard buttons of message boxes, the file, font and input dialogs) in the
// language the locale asks for, from the translations Qt installs (Debian: qt6-translations-l10n).
#pragma once

class QLocale;
class QTranslator;

namespace orvex2 {

// Installs Qt's translation for `locale` into the application; the translator (owned by the
// application) or null when Qt has none for that language.
QTranslator* InstallQtTranslations(const QLocale& locale);

}  // namespace orvex2
