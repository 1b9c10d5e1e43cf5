// Pattern and extension rules of the archive name filter.
#include "selection/archive_filter.h"

#include <QStringList>
#include <exception>

#include "foundation/paths.h"
#include "foundation/settings.h"

namespace orvex2 {

namespace {

// A family counts only when its option is set and its library was found.
struct Families {
  bool lzh, zip, arj, cab;
  bool anyExe;
};

Families CurrentFamilies() {
  const SharedState& s = Shared();
  const OptionRecord& o = s.opt;
  Families f{};
  f.lzh = o.Lzh && s.lib[kLzh].present;
  f.zip = o.Zip && s.lib[kZip].present;
  f.arj = o.Arj && s.lib[kArj].present;
  f.cab = o.Cab && s.lib[kCab].present;
  f.anyExe = (f.lzh && o.Lzh_Exe) || (f.zip && o.Zip_Exe) || (f.arj && o.Arj_Exe) || (f.cab && o.Cab_Exe);
  return f;
}

}  // namespace

QString PatternRule() {
  try {
    const Families f = CurrentFamilies();
    const OptionRecord& o = Options();
    QStringList items;
    if (f.lzh) items << QStringLiteral("*.LZH");
    if (f.zip) items << QStringLiteral("*.ZIP");
    if (f.arj) items << QStringLiteral("*.ARJ");
    if (f.cab) items << QStringLiteral("*.CAB");
    if (items.isEmpty()) {
      // The sub-items below are only ever appended after a family item; with none there is
      // nothing to list at all.
      return QString::fromLatin1(kNoArchivePattern);
    }
    if (f.anyExe) items << QStringLiteral("*.EXE");
    if (f.lzh && o.Lzh_X) items << QStringLiteral("*.X");
    if (f.lzh && o.Lzh_Lha) items << QStringLiteral("*.LHA");
    return items.join(QLatin1Char(';'));
  } catch (const std::exception&) {
    return QString::fromLatin1(kNoArchivePattern);
  }
}

bool Exp_Check(const QString& name) {
  try {
    const Families f = CurrentFamilies();
    const OptionRecord& o = Options();
    if (o.Double) {
      const QString ext = WideUpper(ExtensionPart(name, true));
      if (ext == QLatin1String(".LZH.LZH") && f.lzh) return true;
      if ((ext == QLatin1String(".LZH.ZIP") || ext == QLatin1String(".ZIP.LZH")) && f.lzh && f.zip) return true;
      if (ext == QLatin1String(".ZIP.ZIP") && f.zip) return true;
    }
    const QString ext = WideUpper(ExtensionPart(name, false));
    if (ext.isEmpty()) return false;
    if (ext == QLatin1String(".LZH")) return f.lzh;
    if (ext == QLatin1String(".LHA")) return f.lzh && o.Lzh_Lha;
    if (ext == QLatin1String(".ZIP")) return f.zip;
    if (ext == QLatin1String(".ARJ")) return f.arj;
    if (ext == QLatin1String(".CAB")) return f.cab;
    if (ext == QLatin1String(".EXE")) return f.anyExe;
    if (ext == QLatin1String(".X")) return f.lzh && o.Lzh_X;
    return false;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace orvex2
