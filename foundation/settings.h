// Settings store, the shared option record and state, and the window-geometry rule.
#pragma once

#include <QString>
#include <array>
#include <functional>
#include <optional>

namespace orvex2 {

inline constexpr const char* kCurrentApp = "Tovanel";
inline constexpr const char* kEarlierApp = "Orvex2";
inline constexpr const char* kSection = "Orvex2";

// The per-user store: INI file per application, group per section, text values. Only a regular
// file is ever opened. A file that is not INI text is kept as "<name>.ini.bad" before it is
// replaced; a write edits only its own keys in the file's text and leaves every other line.
namespace SettingsStore {
QString Read(const QString& app, const QString& section, const QString& key, const QString& def);
void Write(const QString& app, const QString& section, const QString& key, const QString& value);
void DeleteSection(const QString& app, const QString& section);
void DeleteApplication(const QString& app);
// Location of the INI files (tests point it at a temporary folder). Empty: the user default
// ($XDG_CONFIG_HOME, else ~/.config).
void SetLocation(const QString& folder);
// Path of the INI file that holds an application's settings.
QString FilePath(const QString& app);
// Called for every value passed to Write, in call order (tests record with it). Empty: none.
using WriteObserver =
    std::function<void(const QString& app, const QString& section, const QString& key, const QString& value)>;
void SetWriteObserver(WriteObserver observer);
// While a Batch lives, writes are held and each file is written once: when the last Batch ends,
// or when the options are saved. Reads see the held values. Shut-down saves in one Batch.
class Batch {
 public:
  Batch();
  ~Batch();
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;
};
}  // namespace SettingsStore

// Conversions of stored texts. Empty optional: the text does not convert.
std::optional<bool> ParseBool(const QString& text);
std::optional<qint16> ParseInt16(const QString& text);
std::optional<double> ParseNumber(const QString& text);
inline QString BoolText(bool b) { return b ? QStringLiteral("True") : QStringLiteral("False"); }
// A number as stored: the decimal text of its single-precision value ("1000", "1234.5").
QString NumberText(double value);

struct OptionRecord {
  bool Lzh = false, Zip = false, Arj = false, Cab = false;
  bool Lzh_X = false, Lzh_Lha = false;
  bool Lzh_Exe = false, Zip_Exe = false, Arj_Exe = false, Cab_Exe = false;
  QString Lzh_Opt, Zip_Opt, Arj_Opt, Cab_Opt;
  QString TmpDir;
  bool Double = false;
  bool Auto = false;
  qint16 AutoExe = 0;
  bool AutoLog = false;
  bool Resize = false;
  bool Tip = false;
  QString Dir_Out;
  bool Dir_Out_Yuko = false;
  std::array<bool, 3> Move{false, false, false};
  QString Font_Name;
  qint16 Font_Size = 0;
  bool Font_Bold = false;
  bool Font_Italic = false;
};

enum Family { kLzh = 0, kZip = 1, kArj = 2, kCab = 3 };

struct LibraryInfo {
  bool present = false;
  quint16 version = 0;  // hundredths: 540 is 5.40
};

struct SharedState {
  OptionRecord opt;
  std::array<LibraryInfo, 4> lib;  // indexed by Family
  bool autoRun = false;            // true only while an automatic run is in progress
  QString Dir_In;
  bool Dir_In_Yuko = false;
  QString OldDir_In;
};

// The single process-wide instance.
SharedState& Shared();
inline OptionRecord& Options() { return Shared().opt; }

void LoadOptions();
void SaveOptions();
void RemoveSettings();

// Window-geometry rule. Coordinates in twips; state 0 normal, 1 minimised, 2 maximised.
struct Geometry {
  double left = 0, top = 0, width = 0, height = 0;
  int state = 0;
};

enum class WindowKind {
  Main,         // Main_*: four coordinates and the window state, defaults 1000/1000/8000/8000
  Child,        // four coordinates, defaults the current position; restored/saved conditionally
  DialogPos,    // Left/Top only, defaults 1000/1000 (About, Option, MenuMente)
  DialogSized,  // four coordinates, defaults 1000/1000/5000/5000 (Default)
};

struct ScreenSize {
  double width = 0, height = 0;  // twips
};

// Restore at window load. `current` is the window's geometry now (the defaults of a child).
// Returns the geometry to apply, or nullopt when a stored value does not convert (the caller's
// load failure handling then runs). A child returns `current` unchanged when Resize is on or an
// automatic run is in progress.
std::optional<Geometry> RestoreGeometry(const QString& prefix, WindowKind kind, const Geometry& current,
                                        const ScreenSize& screen);
// Save at window close, under the rule's conditions. `mainState` is the main window's state.
void SaveGeometry(const QString& prefix, WindowKind kind, const Geometry& g, int mainState);

}  // namespace orvex2
