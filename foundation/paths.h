// Path, name and disk helpers. Paths are absolute, "/"-separated. None of these throws; on any
// failure they return empty text (ShortenPath: the path unchanged; FileReadable: false).
#pragma once

#include <QString>

namespace orvex2 {

QString GetTempDir();                 // the system temporary folder, with its closing "/"
QString GetSystemDir();               // folder of the archiver libraries, no closing "/"
QString DiskFreeText(const QString& path);  // " (1,200.0M Free)"
QString ShortenPath(const QString& path);   // "/A/.../D/FILE.LZH"
QString FileNamePart(const QString& path);
QString BaseNamePart(const QString& path);
QString ParentFolder(const QString& path);
QString ExtensionPart(const QString& path, bool doubleExt);
QString LongPathName(const QString& path);
QString WideUpper(const QString& text);
bool FileReadable(const QString& path);

}  // namespace orvex2
