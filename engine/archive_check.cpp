// The archive check: classification, the single, self-extracting and double checks, the verdict
// and the quarantine move.
#include "engine/archive_check.h"

#include <array>
#include <optional>
#include <stdexcept>
#include <stdlib.h>

#include "engine/libraries.h"
#include "engine/library_calls.h"
#include "engine/ports.h"
#include "engine/quarantine.h"
#include "engine/verdict.h"
#include "foundation/debris.h"
#include "foundation/messages.h"
#include "foundation/names.h"
#include "foundation/paths.h"
#include "foundation/settings.h"

namespace orvex2 {

namespace {

// Product texts per family: checking, recognising, final-check line, busy message.
struct FamilyTexts {
  int checking, recognising, finalCheck, busy;
};
constexpr std::array<FamilyTexts, 4> kTexts{{
    {20000, 20005, 20010, 20100},  // LZH
    {20001, 20006, 20011, 20101},  // ZIP
    {20002, 20007, 20012, 20102},  // ARJ
    {20003, 20008, 20013, 20103},  // CAB
}};

struct Unexpected : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void Add(const QString& line) {
  if (Ports().history != nullptr) Ports().history->ListInAdd(line);
}

void Say(int productId) { Add(ProductText(productId)); }

LibraryCalls Lib(Family f) {
  ArchiverLibrary* lib = Library(f);
  if (lib == nullptr) throw Unexpected("library not present");
  return LibraryCalls(*lib);
}

bool Enabled(Family f) {
  const OptionRecord& o = Options();
  switch (f) {
    case kLzh: return o.Lzh;
    case kZip: return o.Zip;
    case kArj: return o.Arj;
    case kCab: return o.Cab;
  }
  return false;
}

bool Present(Family f) { return Shared().lib[f].present; }

bool AcceptsExe(Family f) {
  const OptionRecord& o = Options();
  switch (f) {
    case kLzh: return o.Lzh_Exe;
    case kZip: return o.Zip_Exe;
    case kArj: return o.Arj_Exe;
    case kCab: return o.Cab_Exe;
  }
  return false;
}

// True when the library is busy: the message box is shown and nothing is run.
bool Busy(Family f) {
  if (Lib(f).Running() == 0) return false;
  if (Ports().message != nullptr) Ports().message->Message(ProductText(kTexts[f].busy));
  return true;
}

// Steps 2 to 4 of a single check (everything after the checking line).
int TestSteps(Family f, const QString& file, int mode) {
  if (mode == kModeSimple) return Lib(f).CheckArchive(file, 2) == 0 ? result::kSimpleCrc : result::kPassed;
  int r;
  if (Busy(f)) {
    r = result::kBusy;
  } else {
    r = Lib(f).Command(TestCommandLine(f, file));
  }
  if (mode == kModeDetailed && r >= 0 && r <= result::kMaxSkipped) {
    Say(kTexts[f].finalCheck);
    if (Lib(f).CheckArchive(file, 2) == 0) r = result::kFinalCrc;
  }
  return r;
}

int SingleCheck(Family f, const QString& file, int mode) {
  Say(kTexts[f].checking);
  return TestSteps(f, file, mode);
}

int SelfExtractingCheck(const QString& path, int mode, bool xFile) {
  for (Family f : {kLzh, kZip, kArj, kCab}) {
    if (xFile && f != kLzh) break;
    const bool accepts = xFile ? Options().Lzh_X : AcceptsExe(f);
    if (!Enabled(f) || !Present(f) || !accepts) continue;
    Say(kTexts[f].recognising);
    if (Lib(f).CheckArchive(path, 0) == 1) return SingleCheck(f, path, mode);
  }
  return result::kNoSfx;
}

// A private folder of its own inside TmpDir (mkdtemp: mode 0700), so no file already in TmpDir
// is ever overwritten or deleted; it goes away with everything in it, also when a signal ends
// the run.
class PrivateFolder {
 public:
  explicit PrivateFolder(const QString& parent) : bytes_(NameToBytes(parent) + "orvex2-XXXXXX") {
    if (::mkdtemp(bytes_.data()) == nullptr) {
      bytes_.clear();
      return;
    }
    debris_.emplace(bytes_, Debris::Kind::kFolder);
  }
  ~PrivateFolder() {
    if (debris_) debris_->Remove();
  }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;

  bool valid() const { return debris_.has_value(); }
  QString path() const { return NameFromBytes(bytes_) + QLatin1Char('/'); }

 private:
  QByteArray bytes_;
  std::optional<Debris> debris_;
};

// In the normal and detailed modes the outer archive is tested before its inner one is taken
// out: damage to its other members is the verdict. Members the outer test skipped stand as the
// result when the inner archive passes.
int DoubleCheck(const QString& path, int mode, Family outer, Family inner) {
  Say(outer == kLzh ? 20020 : 20022);
  QString tmp = Options().TmpDir;
  if (!tmp.endsWith(QLatin1Char('/'))) tmp += QLatin1Char('/');
  const QString member = BaseNamePart(path);
  if (Busy(outer)) return result::kBusy;

  int outerSkipped = 0;
  if (mode != kModeSimple) {
    const int r = Lib(outer).Command(TestCommandLine(outer, path));
    if (r < 0 || r > result::kMaxSkipped) return r;
    outerSkipped = r;
  }
  const PrivateFolder privateDir(tmp);
  if (!privateDir.valid()) {
    // No folder could be made there: the extraction fails as it would into a missing folder.
    return Lib(outer).Command(ExtractCommandLine(outer, path, tmp + QStringLiteral(".orvex2-missing/"), member));
  }
  const QString folder = privateDir.path();
  int r = Lib(outer).Command(ExtractCommandLine(outer, path, folder, member));
  if (r == result::kPassed) {
    Say(inner == kLzh ? 20021 : 20023);
    r = TestSteps(inner, folder + member, mode);
    if (r == result::kPassed) r = outerSkipped;
  }
  return r;
}

int Classify(const QString& path, int mode) {
  const OptionRecord& o = Options();
  const QString ext = ExtensionPart(path.toUpper(), o.Double);
  if (ext == QLatin1String(".LZH")) return o.Lzh && Present(kLzh) ? SingleCheck(kLzh, path, mode) : result::kNotTarget;
  if (ext == QLatin1String(".LHA")) {
    return o.Lzh && Present(kLzh) && o.Lzh_Lha ? SingleCheck(kLzh, path, mode) : result::kNotTarget;
  }
  if (ext == QLatin1String(".ZIP")) return o.Zip && Present(kZip) ? SingleCheck(kZip, path, mode) : result::kNotTarget;
  if (ext == QLatin1String(".ARJ")) return o.Arj && Present(kArj) ? SingleCheck(kArj, path, mode) : result::kNotTarget;
  if (ext == QLatin1String(".CAB")) return o.Cab && Present(kCab) ? SingleCheck(kCab, path, mode) : result::kNotTarget;
  if (ext == QLatin1String(".EXE")) return SelfExtractingCheck(path, mode, false);
  if (ext == QLatin1String(".X")) return SelfExtractingCheck(path, mode, true);
  const bool lzh = o.Lzh && Present(kLzh);
  const bool zip = o.Zip && Present(kZip);
  if (ext == QLatin1String(".LZH.LZH")) return o.Double && lzh ? DoubleCheck(path, mode, kLzh, kLzh) : result::kNotTarget;
  if (ext == QLatin1String(".LZH.ZIP")) {
    return o.Double && lzh && zip ? DoubleCheck(path, mode, kZip, kLzh) : result::kNotTarget;
  }
  // Only the LZH side is asked for here; a missing ZIP library surfaces as an unexpected failure.
  if (ext == QLatin1String(".ZIP.LZH")) return o.Double && lzh ? DoubleCheck(path, mode, kLzh, kZip) : result::kNotTarget;
  if (ext == QLatin1String(".ZIP.ZIP")) return o.Double && zip ? DoubleCheck(path, mode, kZip, kZip) : result::kNotTarget;
  return result::kNotTarget;
}

bool ShouldMove(int r, int mode) {
  const OptionRecord& o = Options();
  if (!o.Dir_Out_Yuko || mode != kModeDetailed || r == result::kPassed) return false;
  return o.Move[MoveSwitchFor(r)];
}

}  // namespace

int ArchiveCheck(const QString& path, int mode, int* verdictClassOut) {
  if (verdictClassOut != nullptr) *verdictClassOut = kClassFailed;
  try {
    if (Ports().history != nullptr)
      Ports().history->AddHeader(QStringLiteral("[ ") + DisplayName(ShortenPath(path)) + QStringLiteral(" ]"), path);
    const int r = Classify(path, mode);
    const int verdictClass = ResultText(r);
    if (verdictClassOut != nullptr) *verdictClassOut = verdictClass;
    const bool move = ShouldMove(r, mode);
    if (verdictClass == kClassPassed && !move && Ports().passed != nullptr) Ports().passed->ListInAdd(path);
    if (verdictClass == kClassCancelled || !move) return verdictClass;

    if (verdictClassOut != nullptr) *verdictClassOut = kClassFailed;  // quarantined: not a pass
    Say(20030);
    switch (MoveToQuarantine(path, Options().Dir_Out)) {
      case MoveOutcome::kMoved:
      case MoveOutcome::kAlreadyThere:
        return kCheckDrop;
      case MoveOutcome::kCopyFailed:
        Say(20032);
        return kCheckKeep;  // the file stayed: so does its entry, whatever the verdict
      case MoveOutcome::kDeleteFailed:
        Say(20031);
        return kCheckKeep;
    }
    return kCheckKeep;
  } catch (const CallCancelled&) {
    // A check call ended by the user's cancel: the verdict of a library cancel.
    if (verdictClassOut != nullptr) *verdictClassOut = kClassCancelled;
    try {
      ResultText(result::kCancel);
    } catch (...) {
    }
    return kCheckStop;
  } catch (...) {
    Say(20033);
    return kCheckStop;
  }
}

}  // namespace orvex2
