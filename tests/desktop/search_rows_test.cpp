// The main window while its search runs: each camera's row as it answers,
// the status bar meanwhile; and where a camera without any login (family 0)
// is marked: its row in the list and the summary page.
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <functional>

#include "desktop/desktop_fixture.h"
#include "desktop/frames.h"
#include "wizard/frm_main.h"

namespace {

using forms::WindowId;

constexpr int ModeColumn = 4;  // the view's Name column comes first
constexpr int32_t WirelessType = 1 << 29;
const QString Searching = QStringLiteral("Searching for cameras…");
const QString OpenMark = QStringLiteral(" — no login (open)");

// A camera control that hears its cameras one after another while Search
// runs, in the order of `arrivals`, before the search ends.
class ArrivingCamera : public FakeCamera {
 public:
  using FakeCamera::FakeCamera;
  std::vector<FakeCameraDevice> arrivals;
  std::function<void(const FakeCameraDevice&)> onFound;
  void Search() override {
    for (const FakeCameraDevice& camera : arrivals) onFound(camera);
    FakeCamera::Search();
  }
};

class SearchRowsTest : public DesktopTest {
 protected:
  ArrivingCamera arriving{"cam", log};
  // What the user saw right after each arrival.
  struct Seen {
    QStringList names;
    QStringList modes;
    QString status;
  };
  std::vector<Seen> seen;

  void SetUp() override {
    program = std::make_unique<Program>(desktop, arriving, camTemp);
    DesktopTest::SetUp();
    arriving.onFound = [this](const FakeCameraDevice& camera) {
      desktop.CameraHeard(camera.caption, camera.mac, camera.address, camera.mode);
      // Its row shows with the next frame.
      EXPECT_TRUE(QTest::qWaitFor([&] { return Listed(camera); }, 2000)) << U8(camera.caption);
      Seen now;
      for (int row = 0; row < List()->model()->rowCount(); ++row) {
        now.names << ListText(row, 0);
        now.modes << ListText(row, ModeColumn);
      }
      now.status = desktop.Main()->Count();
      seen.push_back(now);
    };
    camTemp.texts = {{u"SysAdminID", u"admin"},
                     {u"SysAdminPassword", u"secret"},
                     {u"WlanESSID", u"HomeNet"},
                     {u"WlanWEPKey", u"abcde"}};
    camTemp.numbers = {{u"DeviceType", 0}, {u"WlanMode", 0}, {u"WlanChannel", 6}, {u"WlanWEPFlag", 1}};
    arriving.devices = {Device(1, u"127.77.0.10", u"CS-200"), Device(2, u"127.77.0.11", u"CS-350"),
                        Device(3, u"127.77.0.12", u"ONVIF")};
    desktop.Dispatch([this] { program->Start(); });
  }
  void Search() { Click(WindowId::FrmMain, "Command1"); }
  bool Listed(const FakeCameraDevice& camera) {
    for (int row = 0; row < List()->model()->rowCount(); ++row) {
      if (ListText(row, 0) == QString::fromStdU16String(camera.caption) &&
          ListText(row, ModeColumn).startsWith(QString::fromStdU16String(camera.mode))) {
        return true;
      }
    }
    return false;
  }
  QString Tip(int row, int column) { return List()->model()->index(row, column).data(Qt::ToolTipRole).toString(); }
  void Type(WindowId id, const char* name, const char* text) {
    auto* field = Find<QLineEdit>(id, name);
    ASSERT_NE(field, nullptr) << name;
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
  }
};

TEST_F(SearchRowsTest, RowsShowAsTheCamerasAnswerAndTheSearchsListTakesTheirPlace) {
  const FakeCameraDevice first = arriving.devices[0];
  const FakeCameraDevice second = arriving.devices[1];
  arriving.arrivals = {second, first};
  Search();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].names, QStringList{"Camera 2"}) << "the old rows went when the search began";
  EXPECT_EQ(seen[0].status, Searching);
  EXPECT_EQ(seen[1].names, (QStringList{"Camera 2", "Camera 1"})) << "in the order they answered";
  EXPECT_EQ(seen[1].status, Searching);

  // The list the search filled, in its own order, and the rows map to the
  // logic's rows again.
  ASSERT_EQ(List()->model()->rowCount(), 3);
  EXPECT_EQ(ListText(0, 0), "Camera 1");
  EXPECT_EQ(ListText(2, 0), "Camera 3");
  EXPECT_EQ(desktop.Main()->Count(), "3 cameras");
  ChooseRow(2);
  EXPECT_EQ(U8(program->state.DeviceMac), "0.64.140.1.2.3");
}

TEST_F(SearchRowsTest, TheStatusSaysSearchingBeforeTheFirstAnswerAndACameraHeardTwiceKeepsOneRow) {
  FakeCameraDevice first = arriving.devices[0];
  FakeCameraDevice again = first;
  again.mode = u"CS-350";  // heard first as one kind, then as the other
  arriving.arrivals = {first, again};
  QString atStart;
  int rowsAtStart = -1;
  auto onFound = arriving.onFound;
  arriving.onFound = [&, onFound](const FakeCameraDevice& camera) {
    if (rowsAtStart < 0) {
      atStart = desktop.Main()->Count();
      rowsAtStart = List()->model()->rowCount();
    }
    onFound(camera);
  };
  Search();
  EXPECT_EQ(atStart, Searching);
  EXPECT_EQ(rowsAtStart, 0);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].names, QStringList{"Camera 1"});
  EXPECT_EQ(seen[1].modes, QStringList{"CS-350"}) << "the later answer replaces the row";
}

// While the search runs the list alone takes the user's input: sorting and
// choosing a row work, the buttons wait. The camera chosen stays chosen in
// the list the search fills, and the logic hears of it then.
TEST_F(SearchRowsTest, TheCameraChosenDuringASearchStaysChosenAndOnlyTheListTakesInput) {
  EXPECT_EQ(List()->accessibleName(), "Cameras found");
  arriving.arrivals = {arriving.devices[2], arriving.devices[1]};
  auto onFound = arriving.onFound;
  arriving.onFound = [&, onFound](const FakeCameraDevice& camera) {
    onFound(camera);
    if (camera.caption != u"Camera 2") return;
    QHeaderView* header = List()->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + header->sectionSize(0) / 2, header->height() / 2));
    EXPECT_EQ(ListText(0, 0), "Camera 2") << "sorted by name while the search runs";
    ChooseRow(0);
    Click(WindowId::FrmMain, "CmdWizard");
    Click(WindowId::FrmMain, "CmdAbout");
  };
  Search();
  EXPECT_FALSE(Shown(WindowId::frmchackIDPWD)) << "no wizard started during the search";
  EXPECT_FALSE(Shown(WindowId::FrmSysAbout));
  EXPECT_EQ(program->frmMain->List.SelectedRow(), 1) << "the logic's row of Camera 2 (rows by address)";
  EXPECT_EQ(U8(program->state.DeviceMac), "0.64.140.1.2.2") << "event 9 read the camera chosen";
  const QModelIndexList chosen = List()->selectionModel()->selectedRows();
  ASSERT_EQ(chosen.size(), 1);
  EXPECT_EQ(chosen.front().data().toString(), "Camera 2");
  EXPECT_EQ(List()->header()->sortIndicatorSection(), 0) << "the user's sort stays";

  // Chosen before the next search: chosen again when it answers.
  arriving.arrivals = {arriving.devices[0], arriving.devices[1]};
  Search();
  EXPECT_EQ(program->frmMain->List.SelectedRow(), 1);
  ASSERT_EQ(List()->selectionModel()->selectedRows().size(), 1);
  EXPECT_EQ(List()->selectionModel()->selectedRows().front().data().toString(), "Camera 2");
}

TEST_F(SearchRowsTest, ACameraHeardOutsideASearchShowsNothing) {
  desktop.CameraHeard(u"Stray", u"0.64.140.9.9.9", u"127.77.0.99", u"CS-200");
  EXPECT_EQ(List()->model()->rowCount(), 3);
  EXPECT_EQ(desktop.Main()->Count(), "3 cameras");
}

TEST_F(SearchRowsTest, ASearchThatFailsSaysSoAndNoLongerSearching) {
  arriving.arrivals = {arriving.devices[0]};
  arriving.failing = {"Search"};
  QString statusAtBox;
  desktop.SetMessageBoxFunction([&](const desktop::MessageRequest& request) {
    messages.push_back(request);
    statusAtBox = desktop.Main()->Count();
    return forms::MsgAnswer::OK;
  });
  Search();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(U8(messages[0].text.substr(0, 14)), "Camera Error .");
  EXPECT_EQ(statusAtBox, "1 camera") << "the search is over when its failure is shown";
  EXPECT_EQ(desktop.Main()->Count(), "no cameras answered — check the cable and the firewall (docs)");
}

// Only family 0 carries the mark, in the list the search filled and in the
// rows heard while it ran.
TEST_F(SearchRowsTest, OnlyACameraWithoutLoginIsMarkedOnItsRow) {
  const QString tip = QString::fromStdU16String(NoAccessControlText);
  struct RowCase {
    int row;
    QString mode;
    QString tip;
  };
  for (const RowCase& c : {RowCase{0, "CS-200" + OpenMark, tip}, RowCase{1, "CS-350", ""}, RowCase{2, "ONVIF", ""}}) {
    EXPECT_EQ(ListText(c.row, ModeColumn), c.mode) << c.row;
    for (int column = 0; column <= ModeColumn; ++column) EXPECT_EQ(Tip(c.row, column), c.tip) << c.row << column;
  }
  EXPECT_EQ(program->frmMain->List.rows[0].cells[3], u"CS-200") << "the logic's cell stays as delivered";

  arriving.arrivals = {arriving.devices[1], arriving.devices[0]};
  Search();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].modes, (QStringList{"CS-350", "CS-200" + OpenMark}));
}

// A row heard during the search is kept in the list the search fills only
// where the list says the same of that camera: a camera the list describes
// otherwise (same MAC and address, another kind) shows as the list says,
// with its mark, and the rows heard in another order move into the list's.
TEST_F(SearchRowsTest, TheSearchsListReplacesARowHeardOtherwise) {
  FakeCameraDevice changed = arriving.devices[0];
  changed.mode = u"CS-350";
  changed.caption = u"Camera 1 heard";
  arriving.arrivals = {arriving.devices[2], changed, arriving.devices[1]};
  Search();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[2].names, (QStringList{"Camera 3", "Camera 1 heard", "Camera 2"}));
  ASSERT_EQ(List()->model()->rowCount(), 3);
  const QString tip = QString::fromStdU16String(NoAccessControlText);
  struct RowCase {
    int row;
    QString name;
    QString mode;
    QString tip;
  };
  for (const RowCase& c : {RowCase{0, "Camera 1", "CS-200" + OpenMark, tip}, RowCase{1, "Camera 2", "CS-350", ""},
                           RowCase{2, "Camera 3", "ONVIF", ""}}) {
    EXPECT_EQ(ListText(c.row, 0), c.name) << c.row;
    EXPECT_EQ(ListText(c.row, ModeColumn), c.mode) << c.row;
    EXPECT_EQ(Tip(c.row, 0), c.tip) << c.row;
  }
  ChooseRow(0);
  EXPECT_EQ(U8(program->state.DeviceMac), "0.64.140.1.2.1") << "the row maps to the logic's row";
}

// A camera outside the computer's networks: the logic's tip names them over
// its whole row, before an open camera's own tip.
TEST_F(SearchRowsTest, ARowOutsideTheComputersNetworksNamesThemInItsTip) {
  arriving.notes = {{0, u"other network"}, {1, u"other network"}};
  arriving.networks = {{0, u"192.0.2.1/24 on eth0"}, {1, u"192.0.2.1/24 on eth0"}};
  Search();
  ASSERT_EQ(List()->model()->rowCount(), 3);
  const QString outside = QStringLiteral("Outside this computer's networks (192.0.2.1/24 on eth0)");
  EXPECT_EQ(Tip(0, 0), outside + u'\n' + QString::fromStdU16String(NoAccessControlText));
  EXPECT_EQ(ListText(0, ModeColumn), "CS-200" + OpenMark);
  for (int column = 0; column <= ModeColumn; ++column) EXPECT_EQ(Tip(1, column), outside) << column;
  EXPECT_EQ(ListText(1, ModeColumn), "CS-350") << "no mark beside the Mode: the Network column says it";
  EXPECT_EQ(Tip(2, 0), "");
}

struct SummaryCase {
  const char* what;
  int row;
  bool wireless;
  bool marked;
};
void PrintTo(const SummaryCase& c, std::ostream* os) { *os << c.what; }

class SummaryAccessTest : public SearchRowsTest, public testing::WithParamInterface<SummaryCase> {
 protected:
  // From the chosen row through the pages to the summary.
  WindowId ToSummary(const SummaryCase& c) {
    if (c.wireless) camTemp.numbers[u"DeviceType"] = WirelessType;
    ChooseRow(c.row);
    QTimer::singleShot(0, [this] {
      if (!Shown(WindowId::frmchackIDPWD)) return;
      Type(WindowId::frmchackIDPWD, "Text1", "admin");
      Type(WindowId::frmchackIDPWD, "TxtPassWord", "secret");
      Click(WindowId::frmchackIDPWD, "CmdYes");
    });
    Click(WindowId::FrmMain, "CmdWizard");
    Type(WindowId::FrmSetPassword, "TxtOldSysAdminID", "admin");
    Type(WindowId::FrmSetPassword, "TxtOldPassword", "secret");
    Click(WindowId::FrmSetPassword, "CmdNext");
    Click(WindowId::FrmSetIPAddress, "CmdNext");
    if (!c.wireless) return WindowId::FrmsetLanEnd;
    Click(WindowId::FrmWireless, "CmdNext");
    return WindowId::FrmSetupEnd;
  }
};

TEST_P(SummaryAccessTest, TheSummarySaysWhenTheCameraHasNoAccessControl) {
  const SummaryCase& c = GetParam();
  const WindowId summary = ToSummary(c);
  ASSERT_TRUE(Shown(summary)) << c.what;
  auto* line = Find<QLabel>(summary, "LblAccess");
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->isVisible(), c.marked);
  EXPECT_EQ(line->text(), c.marked ? QString::fromStdU16String(NoAccessControlText) : QString());
  EXPECT_TRUE(Find<QLabel>(summary, "LblID")->isVisible()) << "the values stay";
}

INSTANTIATE_TEST_SUITE_P(Families, SummaryAccessTest,
                         testing::Values(SummaryCase{"family 0, wired", 0, false, true},
                                         SummaryCase{"family 2, wired", 1, false, false},
                                         SummaryCase{"family 0, wireless", 0, true, true},
                                         SummaryCase{"family 2, wireless", 1, true, false}));

}  // namespace
