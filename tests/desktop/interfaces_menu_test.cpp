// The main window's "Interfaces" menu: what it offers, that a choice reaches
// the camera controls and is remembered, and what the command line and a
// vanished interface do to it. Runs on the test thread's own network
// namespace (a veth with two addresses), so the interfaces are known; the
// settings are the test program's temporary ones (test_main.cpp).
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <QMenu>
#include <QProcess>
#include <QSettings>

#include "desktop_fixture.h"
#include "support/skips.h"

namespace {

bool Ip(const QStringList& arguments) { return QProcess::execute(QStringLiteral("ip"), arguments) == 0; }

// The calling thread in a fresh network namespace, and back afterwards;
// the namespace goes with its last user.
class OwnNetns {
 public:
  OwnNetns() : home_(open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC)) {
    entered_ = home_ >= 0 && unshare(CLONE_NEWNET) == 0;
  }
  ~OwnNetns() {
    if (entered_) setns(home_, CLONE_NEWNET);
    if (home_ >= 0) close(home_);
  }
  OwnNetns(const OwnNetns&) = delete;
  OwnNetns& operator=(const OwnNetns&) = delete;
  bool Ok() const { return entered_; }

 private:
  int home_;
  bool entered_ = false;
};

QAction* ActionFor(QMenu& menu, const QString& name) {
  for (QAction* action : menu.actions()) {
    if (!action->isSeparator() && action->data().toString() == name) return action;
  }
  return nullptr;
}

QStringList Remembered() {
  return QSettings(u"sentrova"_qs, u"sentrova"_qs).value(u"MainWindow/interfaces"_qs).toStringList();
}

class InterfacesMenu : public DesktopTest {
 protected:
  QMenu* Menu() {
    QMenu* menu = desktop.Main() == nullptr ? nullptr : desktop.Main()->findChild<QMenu*>(u"InterfacesMenu"_qs);
    if (menu != nullptr) emit menu->aboutToShow();  // filled as when it opens
    return menu;
  }
  size_t Searches() const { return log.Starting("cam.Search").size(); }
};

TEST_F(InterfacesMenu, AChoiceReachesTheControlsIsRememberedAndFallsBackWhenGone) {
  OwnNetns netns;
  if (!netns.Ok()) SENTROVA_SKIP("no network namespace here");
  ASSERT_TRUE(Ip({u"link"_qs, u"add"_qs, u"vm0"_qs, u"type"_qs, u"veth"_qs, u"peer"_qs, u"name"_qs, u"vm1"_qs}));
  ASSERT_TRUE(Ip({u"addr"_qs, u"add"_qs, u"192.0.2.1/24"_qs, u"dev"_qs, u"vm0"_qs}));
  ASSERT_TRUE(Ip({u"addr"_qs, u"add"_qs, u"10.9.0.2/24"_qs, u"dev"_qs, u"vm0"_qs}));
  ASSERT_TRUE(Ip({u"link"_qs, u"set"_qs, u"vm0"_qs, u"multicast"_qs, u"on"_qs, u"up"_qs}));
  ASSERT_TRUE(Ip({u"link"_qs, u"set"_qs, u"vm1"_qs, u"up"_qs}));

  desktop::InterfaceOffer offer = desktop::StartingInterfaces({});
  EXPECT_TRUE(offer.chosen.isEmpty()) << "nothing remembered yet: all interfaces";
  std::vector<QStringList> applied;
  offer.apply = [&](const QStringList& names) { applied.push_back(names); };
  desktop.SetInterfaceOffer(offer);
  StartWith({Device(1, u"127.77.0.10", u"X-350")});
  QMenu* menu = Menu();
  ASSERT_NE(menu, nullptr);
  QAction* all = ActionFor(*menu, QString());
  QAction* vm0 = ActionFor(*menu, u"vm0"_qs);
  ASSERT_NE(all, nullptr);
  ASSERT_NE(vm0, nullptr) << "an up, multicast-capable interface is offered";
  EXPECT_EQ(ActionFor(*menu, u"lo"_qs), nullptr) << "loopback is not offered";
  EXPECT_EQ(vm0->text(), u"vm0 — 192.0.2.1/24, 10.9.0.2/24");
  EXPECT_TRUE(all->isChecked());
  EXPECT_FALSE(vm0->isChecked());

  const size_t before = Searches();
  vm0->trigger();
  ASSERT_EQ(applied.size(), 1u);
  EXPECT_EQ(applied.back(), QStringList{u"vm0"_qs});
  EXPECT_EQ(Searches(), before + 1) << "a new search follows the change";
  EXPECT_EQ(Remembered(), QStringList{u"vm0"_qs});
  menu = Menu();
  EXPECT_TRUE(ActionFor(*menu, u"vm0"_qs)->isChecked());
  EXPECT_FALSE(ActionFor(*menu, QString())->isChecked());
  EXPECT_EQ(desktop::StartingInterfaces({}).chosen, QStringList{u"vm0"_qs}) << "the next start takes it";

  // The command line wins and its choice is not remembered.
  desktop::InterfaceOffer named = desktop::StartingInterfaces({u"vm1"_qs});
  EXPECT_EQ(named.chosen, QStringList{u"vm1"_qs});
  EXPECT_FALSE(named.remember);
  EXPECT_FALSE(named.confined);

  ActionFor(*Menu(), QString())->trigger();
  EXPECT_EQ(applied.back(), QStringList());
  EXPECT_EQ(Remembered(), QStringList());

  ActionFor(*Menu(), u"vm0"_qs)->trigger();
  ASSERT_TRUE(Ip({u"link"_qs, u"del"_qs, u"vm0"_qs}));
  const desktop::InterfaceOffer gone = desktop::StartingInterfaces({});
  EXPECT_TRUE(gone.chosen.isEmpty()) << "a remembered interface that is gone: all of them";
  EXPECT_TRUE(gone.note.contains(u"vm0")) << gone.note.toStdString();
  desktop.SetInterfaceOffer(gone);
  EXPECT_EQ(desktop.Main()->findChild<QLabel*>(u"InterfacesNote"_qs)->text(), gone.note) << "shown in the status bar";
}

// Confined to loopback by the command line (the demo): lo only, checked,
// disabled, and the tooltip says why.
TEST_F(InterfacesMenu, ConfinedToLoopbackTheMenuShowsLoOnlyAndDisabled) {
  desktop::InterfaceOffer offer = desktop::StartingInterfaces({u"lo"_qs});
  EXPECT_TRUE(offer.confined);
  EXPECT_FALSE(offer.remember);
  int applied = 0;
  offer.apply = [&](const QStringList&) { ++applied; };
  desktop.SetInterfaceOffer(offer);
  StartWith({Device(1, u"127.77.0.10", u"X-350")});
  QMenu* menu = Menu();
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->actions().size(), 1) << "lo only";
  QAction* lo = menu->actions().front();
  EXPECT_EQ(lo->data().toString(), u"lo");
  EXPECT_TRUE(lo->isChecked());
  EXPECT_FALSE(lo->isEnabled());
  EXPECT_TRUE(lo->toolTip().contains(u"127.0.0.0/8")) << lo->toolTip().toStdString();
  lo->trigger();
  EXPECT_EQ(applied, 0) << "a disabled action changes nothing";
  EXPECT_TRUE(Remembered().isEmpty());
}

}  // namespace
