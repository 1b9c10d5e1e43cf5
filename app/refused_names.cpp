// Reasons for names the target list refuses, in the terms of the options dialog.
#include "app/refused_names.h"

#include <QStringList>
#include <QTimer>

#include "app/app_messages.h"
#include "app/command_line.h"
#include "foundation/messages.h"
#include "foundation/names.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "selection/archive_filter.h"

#include <sys/stat.h>

namespace orvex2 {

namespace {

constexpr int kListedNames = 20;
constexpr const char* kLibraryFiles[4] = {"UNLHA32.DLL", "UNZIP32.DLL", "UNARJ32J.DLL", "CAB32.DLL"};
constexpr int kFamilyCaptions[4] = {8001, 8002, 8003, 8005};  // the options dialog's family boxes

// Empty when the family is on, else why not: its box in the options, or its library.
QString FamilyOff(Family f) {
  if (!Shared().lib[f].present) return QString::fromLatin1(kLibraryFiles[f]) + QStringLiteral(" が見つかりません");
  const OptionRecord& o = Options();
  const bool on[4] = {o.Lzh, o.Zip, o.Arj, o.Cab};
  if (!on[f]) return QStringLiteral("Option の「%1」が外れています").arg(ProductText(kFamilyCaptions[f]));
  return QString();
}

QString ExtensionReason(const QString& path) {
  const QString ext = WideUpper(ExtensionPart(path, false));
  const struct {
    const char* ext;
    Family family;
  } plain[] = {{".LZH", kLzh}, {".ZIP", kZip}, {".ARJ", kArj}, {".CAB", kCab}};
  for (const auto& p : plain)
    if (ext == QLatin1String(p.ext)) return FamilyOff(p.family);
  if (ext == QLatin1String(".LHA") || ext == QLatin1String(".X")) {
    const QString off = FamilyOff(kLzh);
    if (!off.isEmpty()) return off;
    return QStringLiteral("Option の LZH の「%1」が外れています").arg(ext);
  }
  if (ext == QLatin1String(".EXE")) return QStringLiteral("Option で自己解凍形式（.EXE）を検査する圧縮形式がありません");
  return QStringLiteral("検査できる圧縮ファイルの拡張子ではありません");
}

}  // namespace

QString RefusalReason(const QString& name) {
  try {
    if (name.isEmpty()) return QString();
    const QString path = LongPathName(name);
    if (path.isEmpty()) return QStringLiteral("ファイルが見つかりません");
    if (!FileReadable(path)) {
      struct stat st {};
      const bool folder = ::stat(NameToBytes(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
      return folder ? QStringLiteral("フォルダです") : QStringLiteral("ファイルを読み込めません");
    }
    if (Exp_Check(path)) return QString();
    return ExtensionReason(path);
  } catch (...) {
    return QString();
  }
}

QString RefusedNamesMessage(const QString& commandLine) {
  QStringList lines;
  int refused = 0;
  SplitCommandLine(
      commandLine,
      [&](const QString& name) {
        const QString why = RefusalReason(name);
        if (why.isEmpty()) return true;
        if (++refused <= kListedNames) lines << DisplayName(name) << QStringLiteral("　") + why;
        return true;
      },
      [] {});
  if (refused == 0) return QString();
  if (refused > kListedNames) lines << QStringLiteral("ほか %1 件").arg(refused - kListedNames);
  return QStringLiteral("次のファイルは検査対象ファイルに入りませんでした。\n\n") + lines.join(QLatin1Char('\n'));
}

void TellRefusedNames(QObject* owner, const QString& commandLine) {
  const QString text = RefusedNamesMessage(commandLine);
  if (text.isEmpty()) return;
  QTimer::singleShot(0, owner, [text] { ShowMessage(text); });
}

}  // namespace orvex2
