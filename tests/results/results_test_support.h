// Shared pieces of the result-window tests: a private settings store per test, the answer to the
// next modal dialog, and a result window that records its popup instead of showing it.
#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "foundation/settings.h"

namespace orvex2::test {

// Points the settings store at a fresh folder and resets the shared state a window reads.
class StoreFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    SettingsStore::SetLocation(dir_.path());
    Options() = OptionRecord{};
    Options().Font_Name = QStringLiteral("ＭＳ 明朝");
    Options().Font_Size = 10;
    Options().Tip = true;
    Options().Resize = true;
    Shared().autoRun = false;
  }
  void TearDown() override {
    SettingsStore::SetLocation(QString());
    Shared().autoRun = false;
  }
  QString Read(const QString& key) const {
    return SettingsStore::Read(QStringLiteral("Tovanel"), QStringLiteral("Orvex2"), key, QStringLiteral("<none>"));
  }
  QTemporaryDir dir_;
};

// Answers the next modal widget that appears within the time limit, while this object lives.
class ModalAnswer {
 public:
  explicit ModalAnswer(std::function<void(QWidget*)> answer, int limitMs = 5000) : answer_(std::move(answer)) {
    clock_.start();
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this, limitMs] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        timer_.stop();
        answered_ = true;
        answer_(modal);
      } else if (clock_.elapsed() > limitMs) {
        timer_.stop();
      }
    });
    timer_.start(20);
  }
  bool answered() const { return answered_; }

 private:
  std::function<void(QWidget*)> answer_;
  QTimer timer_;
  QElapsedTimer clock_;
  bool answered_ = false;
};

}  // namespace orvex2::test
