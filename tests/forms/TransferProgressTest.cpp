#include "forms/TransferProgress.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/Query.h"

#include <gtest/gtest.h>

#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

using namespace quillon;
using namespace quillon::forms;

namespace {

constexpr qint64 kTotal = 10 << 20;

// Steps the worker takes only when the test lets it: what the dialog shows
// is checked at each step, however fast or slow the machine.
class Gate {
public:
  void open() {
    const std::lock_guard lock(mutex_);
    ++opened_;
    changed_.notify_all();
  }
  void wait(int times) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return opened_ >= times; });
  }

private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int opened_ = 0;
};

// Runs a transfer whose work is `work`, while `checks` take turns on the
// shown dialog: each check is tried on every pass of the event loop until
// it returns true, then the next one is.
class TransferProgressTest : public testing::Test {
protected:
  void SetUp() override { TransferProgress::setShowDelay(std::chrono::milliseconds(0)); }
  void TearDown() override { TransferProgress::setShowDelay(std::chrono::milliseconds(500)); }

  QProgressDialog *dialog() const {
    auto *found = owner_.findChild<QProgressDialog *>();
    return found && found->isVisible() ? found : nullptr;
  }
  QPushButton *cancelButton() const {
    return dialog() ? dialog()->findChild<QPushButton *>() : nullptr;
  }

  void runWith(const std::function<void()> &work,
               std::vector<std::function<bool(QProgressDialog &)>> checks) {
    size_t next = 0;
    QTimer checker;
    checker.setInterval(0);
    QObject::connect(&checker, &QTimer::timeout, [&] {
      QProgressDialog *shown = dialog();
      if (shown && next < checks.size() && checks[next](*shown))
        ++next;
    });
    checker.start();
    TransferProgress progress(query_, &owner_, QStringLiteral("Загрузка значения из файла"));
    try {
      query_.runTransfer(work);
    } catch (...) {
      checker.stop();
      EXPECT_EQ(next, checks.size()) << "checks left when the transfer stopped";
      throw;
    }
    EXPECT_EQ(next, checks.size()) << "checks left when the transfer ended";
  }

  QWidget owner_;
  data::Connection connection_;
  data::Query query_{QStringLiteral("qrList"), connection_};
  Gate gate_;
};

TEST_F(TransferProgressTest, BarFollowsTheBytesAndTurnsBusyForWhatIsNotMeasured) {
  bool committed = false;
  const auto work = [&] {
    query_.transfer.observer(3 << 20, kTotal);
    gate_.wait(1);
    query_.transfer.observer(kTotal, kTotal);
    gate_.wait(2);
    query_.transfer.committing();
    gate_.wait(3);
    committed = true;
  };
  runWith(work, {
                    [&](QProgressDialog &shown) {
                      if (shown.maximum() == 0 || shown.value() != 300)
                        return false;
                      EXPECT_TRUE(cancelButton()->isEnabled());
                      gate_.open();
                      return true;
                    },
                    [&](QProgressDialog &shown) {
                      // Every byte is taken; the engine's own work is not
                      // measured, and Cancel still undoes it.
                      if (!shown.labelText().contains(QStringLiteral("ожидание завершения")))
                        return false;
                      EXPECT_EQ(shown.maximum(), 0) << "a full bar while the engine still works";
                      EXPECT_TRUE(cancelButton()->isEnabled());
                      gate_.open();
                      return true;
                    },
                    [&](QProgressDialog &shown) {
                      if (cancelButton()->isEnabled())
                        return false;
                      // Past the point of no return: Escape asks in vain.
                      QTest::keyClick(&shown, Qt::Key_Escape);
                      EXPECT_TRUE(shown.isVisible());
                      EXPECT_EQ(shown.maximum(), 0);
                      gate_.open();
                      return true;
                    },
                });
  EXPECT_TRUE(committed);
  EXPECT_FALSE(query_.transferRunning());
}

TEST_F(TransferProgressTest, CancelStopsTheTransferAtItsNextChunkAndBeforeTheCommit) {
  for (const bool byEscape : {false, true}) {
    SCOPED_TRACE(byEscape ? "Escape" : "the Cancel button");
    bool committing = false;
    Gate gate;
    const auto work = [&] {
      query_.transfer.observer(3 << 20, kTotal);
      gate.wait(1);
      query_.transfer.observer(4 << 20, kTotal); // throws once cancelled
      committing = true;
      query_.transfer.committing();
    };
    const auto cancelAtThirtyPercent = [&](QProgressDialog &shown) {
      if (shown.value() != 300)
        return false;
      if (byEscape)
        QTest::keyClick(&shown, Qt::Key_Escape);
      else
        cancelButton()->click();
      // The dialog stays, saying so, until the work has stopped.
      EXPECT_TRUE(shown.isVisible());
      EXPECT_FALSE(cancelButton()->isEnabled());
      EXPECT_EQ(shown.labelText(), QStringLiteral("Отмена…"));
      gate.open();
      return true;
    };
    EXPECT_THROW(runWith(work, {cancelAtThirtyPercent}), data::TransferCancelled);
    EXPECT_FALSE(committing);
  }

  // A cancel that comes while the engine's own work is still running stops
  // the transfer at the commit.
  Gate gate;
  const auto work = [&] {
    query_.transfer.observer(kTotal, kTotal);
    gate.wait(1);
    query_.transfer.committing(); // throws
    ADD_FAILURE() << "committed after Cancel";
  };
  EXPECT_THROW(runWith(work, {[&](QProgressDialog &shown) {
                         if (shown.maximum() != 0 || !cancelButton()->isEnabled())
                           return false;
                         cancelButton()->click();
                         gate.open();
                         return true;
                       }}),
               data::TransferCancelled);
}

TEST_F(TransferProgressTest, WhatTheWorkThrowsComesBackOnTheCallersThread) {
  {
    TransferProgress progress(query_, &owner_, QStringLiteral("Сохранение значения в файл"));
    EXPECT_THROW(query_.runTransfer([] { throw data::DataError(QStringLiteral("disk full")); }),
                 data::DataError);
    EXPECT_FALSE(query_.transferRunning());
  }
  EXPECT_EQ(dialog(), nullptr) << "the dialog outlived its transfer";
  EXPECT_FALSE(query_.transfer.run) << "the hooks outlived the transfer";

  // A transfer quicker than the delay shows nothing.
  TransferProgress::setShowDelay(std::chrono::hours(1));
  TransferProgress progress(query_, &owner_, QStringLiteral("Сохранение значения в файл"));
  bool runningMeanwhile = false;
  query_.runTransfer([&] { runningMeanwhile = query_.transferRunning(); });
  EXPECT_TRUE(runningMeanwhile);
  EXPECT_EQ(dialog(), nullptr);
}

} // namespace
