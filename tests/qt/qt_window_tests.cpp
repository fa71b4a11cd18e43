// The Qt window and its port, under the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window_layout.h"
#include "app/qt/qt_shell.h"
#include "text/encoding.h"

namespace sucaigang {
namespace {

using namespace std::chrono_literals;

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[9] = "qt_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

struct SeenBox {
  QString text;
  QString caption;
};

// Answers the next message box with `button` from inside whatever loop shows it.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(QMessageBox::StandardButton button) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this, button] {
      if (++polls_ > 500) timer_.stop();  // 5 s
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box == nullptr || !box->isVisible() || box->button(button) == nullptr) continue;
        seen_.push_back({box->text(), box->windowTitle()});
        timer_.stop();
        box->button(button)->click();
        return;
      }
    });
    timer_.start();
  }
  const std::vector<SeenBox>& Seen() const { return seen_; }

 private:
  QTimer timer_;
  int polls_ = 0;
  std::vector<SeenBox> seen_;
};

QMessageBox* VisibleBox() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (box != nullptr && box->isVisible()) return box;
  }
  return nullptr;
}

class QtWindowTest : public ::testing::Test {
 protected:
  QtWindowTest() {
    settingsPath_ =
        (std::filesystem::temp_directory_path() / ("qt_tests_" + std::to_string(getpid()) + ".ini"))
            .string();
    std::ofstream(settingsPath_, std::ios::binary) << "[conf]\r\nuser="
                                                   << "远山"_gbk
                                                   << "\r\npass=pw\r\n";
    shell_ = std::make_unique<QtShell>(ShellOptions{
        .exampleAddress = ExampleStockPageAddress("https://stock.example/"),
        .controller = {.settingsPath = settingsPath_, .webHome = "https://web.example/"}});
    FlowSeams& seams = shell_->Seams();
    seams.updateCheck = [this] { updateChecked_ = true; };
    seams.parseFlow = [this] { parseFlowThread_.set_value(std::this_thread::get_id()); };
    seams.logLine = [this](const Text& message) { logged_.push_back(GbkToUtf8(message)); };
    shell_->Port().SetUrlOpener([this](const QString& address) { opened_.push_back(address); });
    EXPECT_TRUE(shell_->Start());
  }
  ~QtWindowTest() override {
    shell_.reset();
    std::filesystem::remove(settingsPath_);
  }

  template <typename T>
  T* Get(const char* name) {
    T* control = shell_->Widget().ControlAs<T>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  QtWindowPort& Port() { return shell_->Port(); }

  std::string settingsPath_;
  std::unique_ptr<QtShell> shell_;
  bool updateChecked_ = false;
  std::promise<std::thread::id> parseFlowThread_;
  std::vector<std::string> logged_;
  std::vector<QString> opened_;
};

TEST_F(QtWindowTest, StartsAsTheTableSays) {
  MainWindow& window = shell_->Widget();
  EXPECT_EQ(window.windowTitle(), Q("素材港解析软件永久免费版 "));
  EXPECT_EQ(window.frameGeometry(), QRect(50, 50, 770, 440));
  EXPECT_TRUE(updateChecked_);
  EXPECT_FALSE(window.styleSheet().isEmpty());  // skinned

  EXPECT_FALSE(Get<QPushButton>("按钮_登陆")->isEnabled());
  for (const char* hidden :
       {"分组框2", "进度条1", "透明标签_下载速度", "进度条_更新", "透明标签_更新"}) {
    EXPECT_TRUE(Get<QWidget>(hidden)->isHidden()) << hidden;
    EXPECT_FALSE(Port().IsVisible(hidden)) << hidden;
  }
  EXPECT_TRUE(Get<QPushButton>("按钮_解析")->isEnabled());
  EXPECT_EQ(Port().GetText("按钮_解析"), "解析"_gbk);

  // Restored from pz.ini.
  EXPECT_EQ(Get<QLineEdit>("编辑框_user")->text(), Q("远山"));
  EXPECT_EQ(Port().GetText("编辑框_pass"), "pw");
  auto* pass = Get<QLineEdit>("编辑框_pass");
  EXPECT_EQ(pass->echoMode(), QLineEdit::Password);
  EXPECT_EQ(pass->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, pass), '*');
  EXPECT_TRUE(Get<QLineEdit>("编辑框1")->text().startsWith(Q("https://stock.example/")));

  auto* log = Get<QPlainTextEdit>("编辑框2");
  EXPECT_EQ(Port().GetText("编辑框2"),
            "欢迎使用由【远山】赞助开发的素材港永久免费解析服务，该软件只供学习参考使用。\r\n"
            "部分杀毒误报，介意者请勿使用！\r\n\r\n"_gbk);
  EXPECT_EQ(log->toPlainText(),
            Q("欢迎使用由【远山】赞助开发的素材港永久免费解析服务，该软件只供学习参考使用。\n"
              "部分杀毒误报，介意者请勿使用！\n\n"));
  EXPECT_TRUE(log->isReadOnly());
  EXPECT_EQ(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  log->ensurePolished();
  EXPECT_EQ(log->palette().color(QPalette::Text), QColor(0, 128, 0));
  EXPECT_EQ(log->palette().color(QPalette::Base), QColor(255, 255, 255));

  for (const char* name : {"进度条1", "进度条_更新"}) {
    auto* bar = Get<QProgressBar>(name);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
  }
  EXPECT_FALSE(Get<QTimer>("时钟1")->isActive());
  EXPECT_NE(Get<QTextBrowser>("超文本浏览框1"), nullptr);

  // The account panel lies exactly over the login panel, above it.
  auto* panel1 = Get<QGroupBox>("分组框1");
  auto* panel2 = Get<QGroupBox>("分组框2");
  EXPECT_EQ(panel2->geometry(), panel1->geometry());
  EXPECT_EQ(panel2->title(), Q("个人中心"));
  const QObjectList& order = window.children();
  EXPECT_GT(order.indexOf(panel2), order.indexOf(panel1));
  // Every control under its parent, at its place.
  for (const ControlEntry& entry : MainWindowControls()) {
    auto* widget = shell_->Widget().ControlAs<QWidget>(entry.name);
    if (entry.kind == ControlKind::Timer) continue;
    ASSERT_NE(widget, nullptr) << entry.name;
    EXPECT_EQ(widget->geometry(), QRect(entry.x, entry.y, entry.width, entry.height)) << entry.name;
    QWidget* parent =
        entry.parent.empty() ? &window : shell_->Widget().ControlAs<QWidget>(entry.parent);
    EXPECT_EQ(widget->parentWidget(), parent) << entry.name;
  }
}

TEST_F(QtWindowTest, ParseClickWithEmptyAddressOnlyShowsTheMessage) {
  Get<QLineEdit>("编辑框1")->setText(QString());  // as the user would clear it
  BoxAnswerer answerer(QMessageBox::Ok);
  QTest::mouseClick(Get<QPushButton>("按钮_解析"), Qt::LeftButton);
  ASSERT_EQ(answerer.Seen().size(), 1u);
  EXPECT_EQ(answerer.Seen()[0].text, Q("请输入正确的素材港地址！"));
  EXPECT_EQ(answerer.Seen()[0].caption, Q("信息："));
  EXPECT_TRUE(Get<QPushButton>("按钮_解析")->isEnabled());
  EXPECT_TRUE(logged_.empty());
}

TEST_F(QtWindowTest, ParseClickDuringCountdownShowsTheOtherMessage) {
  Port().SetText("按钮_解析", "37S");
  BoxAnswerer answerer(QMessageBox::Ok);
  QTest::mouseClick(Get<QPushButton>("按钮_解析"), Qt::LeftButton);
  ASSERT_EQ(answerer.Seen().size(), 1u);
  EXPECT_EQ(answerer.Seen()[0].text, Q("为了云账号安全，请稍等一会再次解析。"));
  EXPECT_TRUE(Get<QPushButton>("按钮_解析")->isEnabled());
  EXPECT_EQ(Get<QPushButton>("按钮_解析")->text(), Q("37S"));
}

TEST_F(QtWindowTest, ParseClickLogsStartsTheFlowAndDisablesTheButton) {
  QTest::mouseClick(Get<QPushButton>("按钮_解析"), Qt::LeftButton);
  EXPECT_EQ(logged_, std::vector<std::string>{"正在开始解析下载"});
  EXPECT_FALSE(Get<QPushButton>("按钮_解析")->isEnabled());
  auto flowThread = parseFlowThread_.get_future();
  ASSERT_EQ(flowThread.wait_for(5s), std::future_status::ready);
  EXPECT_NE(flowThread.get(), std::this_thread::get_id());
  EXPECT_TRUE(QTest::qWaitFor([&] { return shell_->RunningThreads() == 0; }, 5000));
}

TEST_F(QtWindowTest, CountdownTicksSixtyOneTimes) {
  // The parse flow starts the countdown from its own thread.
  Get<QPushButton>("按钮_解析")->setEnabled(false);
  std::thread([&] {
    shell_->Values().CountdownTicks = 0;
    Port().SetEnabled("按钮_解析", false);
    Port().SetTimerPeriod("时钟1", 1000);
  }).join();
  auto* timer = Get<QTimer>("时钟1");
  ASSERT_TRUE(QTest::qWaitFor([&] { return timer->isActive(); }, 5000));
  EXPECT_EQ(timer->interval(), 1000);

  auto* button = Get<QPushButton>("按钮_解析");
  QStringList captions;
  for (int tick = 0; tick < 61; ++tick) {
    QMetaObject::invokeMethod(timer, "timeout");  // one second passes
    captions << button->text();
    if (tick < 60) {
      EXPECT_FALSE(button->isEnabled()) << tick;
    }
  }
  QStringList expected;
  for (int left = 60; left >= 1; --left) expected << QString::number(left) + "S";
  expected << Q("解析");
  EXPECT_EQ(captions, expected);
  EXPECT_TRUE(button->isEnabled());
  EXPECT_FALSE(timer->isActive());
  EXPECT_EQ(shell_->Values().CountdownTicks, 0);
  EXPECT_EQ(Port().GetText("按钮_解析"), "解析"_gbk);
}

TEST_F(QtWindowTest, ChangesFromTwoWorkersArriveInEachThreadsOrder) {
  QStringList users, passes;
  QObject::connect(Get<QLineEdit>("编辑框_user"), &QLineEdit::textChanged,
                   [&](const QString& t) { users << t; });
  QObject::connect(Get<QLineEdit>("编辑框_pass"), &QLineEdit::textChanged,
                   [&](const QString& t) { passes << t; });
  const QString logBefore = Get<QPlainTextEdit>("编辑框2")->toPlainText();

  constexpr int kChanges = 1000;
  // The UI thread does not run its loop while the workers write: a read that waited for it
  // would never return.
  auto a = std::async(std::launch::async, [&] {
    for (int i = 0; i < kChanges / 2; ++i) {
      Port().SetText("编辑框_user", "a" + std::to_string(i));
      Port().SetProgressPosition("进度条1", i % 101);
    }
    return Port().GetText("编辑框_user");
  });
  auto b = std::async(std::launch::async, [&] {
    for (int i = 0; i < kChanges / 2; ++i) {
      Port().SetText("编辑框_pass", "b" + std::to_string(i));
      Port().AppendText("编辑框2", "b" + std::to_string(i) + "\r\n");
    }
    return Port().GetText("编辑框_pass");
  });
  ASSERT_EQ(a.wait_for(10s), std::future_status::ready);
  ASSERT_EQ(b.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(a.get(), "a499");  // the mirror answers at once
  EXPECT_EQ(b.get(), "b499");

  ASSERT_TRUE(QTest::qWaitFor([&] { return passes.size() == kChanges / 2; }, 10000));
  ASSERT_EQ(users.size(), kChanges / 2);
  QString expectedLog = logBefore;
  for (int i = 0; i < kChanges / 2; ++i) {
    EXPECT_EQ(users[i], "a" + QString::number(i));
    EXPECT_EQ(passes[i], "b" + QString::number(i));
    expectedLog += "b" + QString::number(i) + "\n";
  }
  EXPECT_EQ(Get<QPlainTextEdit>("编辑框2")->toPlainText(), expectedLog);
  EXPECT_EQ(Get<QProgressBar>("进度条1")->value(), 499 % 101);
}

TEST_F(QtWindowTest, WorkerMessageBoxBlocksOnlyTheWorker) {
  auto worker = std::async(std::launch::async, [&] {
    Port().MessageBox("服务器连接失败！"_gbk);
    return true;
  });
  ASSERT_TRUE(QTest::qWaitFor([] { return VisibleBox() != nullptr; }, 5000));
  QMessageBox* box = VisibleBox();
  EXPECT_EQ(box->text(), Q("服务器连接失败！"));
  EXPECT_EQ(box->windowTitle(), Q("信息："));
  EXPECT_FALSE(box->isModal());

  // The window still works while the worker waits.
  QTest::mouseClick(Get<QPushButton>("按钮_注册"), Qt::LeftButton);
  EXPECT_EQ(opened_, std::vector<QString>{Q("https://web.example/")});
  Get<QLineEdit>("编辑框1")->setText(Q("编辑中"));
  EXPECT_EQ(Port().GetText("编辑框1"), "编辑中"_gbk);
  EXPECT_EQ(worker.wait_for(50ms), std::future_status::timeout);

  box->button(QMessageBox::Ok)->click();
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return worker.wait_for(0s) == std::future_status::ready; }, 5000));
}

TEST_F(QtWindowTest, WorkerQuestionReturnsTheAnswer) {
  for (auto [button, expected] : {std::pair{QMessageBox::Yes, true}, {QMessageBox::No, false}}) {
    auto worker = std::async(std::launch::async, [&] {
      return Port().AskYesNo("有新版本，是否更新？"_gbk, "更新"_gbk);
    });
    ASSERT_TRUE(QTest::qWaitFor([] { return VisibleBox() != nullptr; }, 5000));
    EXPECT_EQ(VisibleBox()->windowTitle(), Q("更新"));
    VisibleBox()->button(button)->click();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return worker.wait_for(0s) == std::future_status::ready; }, 5000));
    EXPECT_EQ(worker.get(), expected);
    QTest::qWait(20);  // let the closed box go
  }
}

TEST_F(QtWindowTest, ClosingTheWindowReleasesWaitingWorkers) {
  auto worker = std::async(std::launch::async, [&] {
    Port().MessageBox("服务器连接失败！"_gbk);
    Port().SetText("按钮_解析", "late");  // dropped: the window is gone
    return Port().AskYesNo("q"_gbk, "c"_gbk);
  });
  ASSERT_TRUE(QTest::qWaitFor([] { return VisibleBox() != nullptr; }, 5000));
  shell_->Widget().close();
  ASSERT_EQ(worker.wait_for(5s), std::future_status::ready);
  EXPECT_FALSE(worker.get());
  EXPECT_TRUE(QTest::qWaitFor([] { return VisibleBox() == nullptr; }, 5000));
  EXPECT_EQ(Get<QPushButton>("按钮_解析")->text(), Q("解析"));
}

TEST_F(QtWindowTest, AccountPanelPressAndLoginClick) {
  Port().SetVisible("分组框2", true);
  Port().SetEnabled("按钮_登陆", true);
  auto* points = Get<QLabel>("透明标签_username3");
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&shell_->Widget()));
  QTest::mousePress(points, Qt::LeftButton);
  EXPECT_EQ(opened_, std::vector<QString>{Q("https://web.example/?user&index")});
  EXPECT_EQ(points->text(), Q("签到积分："));

  // Texts from the service are shown as they are, never as markup.
  Port().SetText("透明标签_username", "<b>昵称</b>"_gbk);
  EXPECT_EQ(Get<QLabel>("透明标签_username")->textFormat(), Qt::PlainText);
  EXPECT_EQ(Get<QLabel>("透明标签_username")->text(), Q("<b>昵称</b>"));
}

TEST_F(QtWindowTest, HtmlViewShowsWhatTheFetcherBrings) {
  std::promise<Text> asked;
  Port().SetHtmlFetcher([&](const Text& address) {
    asked.set_value(address);
    return "<html><body><p>公告</p></body></html>"_gbk;
  });
  std::thread([&] {
    Port().LoadHtmlView("超文本浏览框1", "https://web.example/gg/index.html");
  }).join();
  auto* view = Get<QTextBrowser>("超文本浏览框1");
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->toPlainText() == Q("公告"); }, 5000));
  EXPECT_EQ(asked.get_future().get(), "https://web.example/gg/index.html");
  // A link in the page opens in the browser, relative to the page's address.
  emit view->anchorClicked(QUrl(Q("news/1.html")));
  EXPECT_EQ(opened_, std::vector<QString>{Q("https://web.example/gg/news/1.html")});
}

}  // namespace
}  // namespace sucaigang
