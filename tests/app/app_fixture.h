// A main window with its children and dialogs loaded, over the scripted test libraries and a
// settings store in a temporary folder; and a helper that answers modal dialogs.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "app/frm_orvex.h"
#include "engine/libraries.h"
#include "engine/ports.h"
#include "fake_script.h"
#include "foundation/settings.h"
#include "results/mdi_out_file.h"
#include "results/mdi_status.h"
#include "results/window_support.h"
#include "selection/mdi_file.h"
#include "selection/mdi_in_dir.h"
#include "selection/mdi_in_file.h"
#include "tests/support/qt_printers.h"

namespace orvex2::test {

// Calls `answer` once with the first modal widget that shows up within `limitMs`.
class ModalAnswer {
 public:
  explicit ModalAnswer(std::function<void(QWidget*)> answer, int limitMs = 5000) : answer_(std::move(answer)) {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this, limitMs] {
      waited_ += 20;
      if (QWidget* w = QApplication::activeModalWidget()) {
        timer_.stop();
        seen_ = true;
        answer_(w);
      } else if (waited_ > limitMs) {
        timer_.stop();
      }
    });
    timer_.start();
  }
  bool seen() const { return seen_; }

 private:
  std::function<void(QWidget*)> answer_;
  QTimer timer_;
  int waited_ = 0;
  bool seen_ = false;
};

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(store.isValid());
    ASSERT_TRUE(fake.IsValid());
    SettingsStore::SetLocation(store.path());
    SetLoadFailureHandler([this](const QString& text) { failures << text; });
    ProbeLibraries();
    dir = fake.TempPath() + "/work";
    QDir().mkpath(dir + "/out");
    QDir().mkpath(dir + "/tmp");
    OptionRecord o;
    o.Lzh = o.Zip = o.Arj = o.Cab = true;
    o.Lzh_Opt = "t -+ -y1 -gm1";
    o.Zip_Opt = "-t";
    o.Arj_Opt = "t -+ -y1 -hm1";
    o.Cab_Opt = "-t";
    o.TmpDir = dir + "/tmp/";
    o.Dir_Out = dir + "/out";
    o.Tip = true;
    o.Font_Name = "Sans Serif";
    o.Font_Size = 9;
    Options() = o;
    Shared().autoRun = false;
  }

  void TearDown() override {
    if (w) {
      w->close();
      w.reset();
    }
    Ports() = EnginePorts{};
    SetLoadFailureHandler(nullptr);
    SettingsStore::SetLocation(QString());
    fake.UseSystemDir(QString());
    ProbeLibraries();
    EXPECT_TRUE(failures.isEmpty()) << failures.join(", ").toStdString();
  }

  // The start-up steps the frame provides, then the first show.
  void Open() {
    w = std::make_unique<frmOrvex>();
    w->SetCaptions();
    w->SetToolTip(Options().Tip);
    w->LoadChildren();
    w->LoadDialogs();
    w->SetFontData();
    w->InFile()->Pattern_Make();
    w->Status()->RefreshForm();
    w->show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return w->activated; }, 5000));
  }

  QString Make(const QString& name, const QByteArray& data = "data") {
    const QString path = dir + "/" + name;
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(data);
    return path;
  }

  QStringList Targets() const {
    QStringList out;
    for (int i = 0; i < w->File()->Count(); ++i) out << w->File()->Text(i);
    return out;
  }
  QStringList History() const {
    QStringList out;
    for (int i = 0; i < w->Status()->lstKekka->count(); ++i) out << w->Status()->lstKekka->item(i)->text();
    return out;
  }
  QStringList Passed() const {
    QStringList out;
    for (int i = 0; i < w->OutFile()->lstOutFile->count(); ++i) out << w->OutFile()->lstOutFile->item(i)->text();
    return out;
  }
  // A value of the current store, or `def` when it is missing.
  QString Stored(const QString& key, const QString& def = "<missing>") const {
    return SettingsStore::Read(kCurrentApp, kSection, key, def);
  }

  QTemporaryDir store;
  FakeLibs fake;
  QString dir;
  QStringList failures;
  std::unique_ptr<frmOrvex> w;
};

}  // namespace orvex2::test
