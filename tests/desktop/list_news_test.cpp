// The main window's list between searches: cameras that announce themselves
// (the camera control's list-changed news) join it once no handler runs, and
// a burst of news is shown once, not once per news.
#include "desktop/desktop_fixture.h"

namespace {

class ListNewsTest : public DesktopTest {
 protected:
  int Rows() { return List() == nullptr ? -1 : List()->model()->rowCount(); }
  size_t Showings() const { return log.Starting("cam.FoundCount").size(); }
};

TEST_F(ListNewsTest, ABurstOfNewsIsShownOnce) {
  StartWith({Device(1, u"127.77.0.11", u"X-350")});
  ASSERT_EQ(Rows(), 1);
  cam.HearBetweenSearches(Device(2, u"10.9.0.10", u"ONVIF"));
  log.Clear();
  for (int i = 0; i < 1000; ++i) desktop.ListNews();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Rows() == 2; }, 2000));
  EXPECT_EQ(ListText(1, 2), u"10.9.0.10"_qs);
  QTest::qWait(60);  // a few frames more: nothing left to show
  EXPECT_EQ(Showings(), 1u);
}

TEST_F(ListNewsTest, NewsWaitUntilTheRunningHandlerEnds) {
  StartWith({Device(1, u"127.77.0.11", u"X-350")});
  int rowsWhileBusy = -1;
  desktop.Dispatch([&] {
    cam.HearBetweenSearches(Device(2, u"10.9.0.10", u"ONVIF"));
    desktop.ListNews();
    QTest::qWait(100);  // the handler's own loop runs frames meanwhile
    rowsWhileBusy = static_cast<int>(program->frmMain->List.rows.size());
  });
  EXPECT_EQ(rowsWhileBusy, 1) << "the list does not change under a running handler";
  EXPECT_TRUE(QTest::qWaitFor([&] { return Rows() == 2; }, 2000));
}

}  // namespace
