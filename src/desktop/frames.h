#pragma once
// The two frames that hold windows' views: the main window, with the camera
// list's shortcuts, context menu and status bar, and the wizard frame, which
// shows one page at a time under a header naming the camera and the step.
// Both stay for the whole run, so they keep the place and size the user
// gave them; closing either from its title bar is the shown view's own way
// out. Neither gets smaller than its contents need at the font and scale in
// use. The main window's size, its list's column widths and its sort are
// remembered from one run to the next, and so is the choice of interfaces
// made in its "Interfaces" menu.
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "desktop/window_view.h"

class QLabel;
class QMenu;
class QStackedWidget;

namespace desktop {

// The interfaces the searches and the camera connections use, as the main
// window's "Interfaces" menu offers them.
struct InterfaceOffer {
  QStringList chosen;     // empty: all interfaces
  bool confined = false;  // the command line confined to loopback: shown, not changeable
  bool remember = true;   // false when the command line chose: its choice is not remembered
  QString note;           // for the status bar: why the remembered choice was not taken
  // The camera controls take a new choice (a search follows).
  std::function<void(const QStringList&)> apply;
};

// What the program starts with: the interfaces the command line names (not
// remembered), else the remembered choice; all of them, with a note, when a
// remembered interface is no longer there.
InterfaceOffer StartingInterfaces(const QStringList& commandLine);

class MainFrame : public QMainWindow {
  Q_OBJECT

 public:
  MainFrame();

  // The main window's view becomes the frame's contents; Release takes it
  // back when the window is unloaded.
  void Hold(WindowView& view);
  // The size and place of the last run, or one that shows every column of
  // the list, within the screen.
  void Place();
  void Release(WindowView& view);
  WindowView* View() const { return view_; }

  // The count of cameras listed, or the hint for a search that found none.
  void ShowCount(int cameras);
  // A search runs: it says so where the count stands.
  void ShowSearching();
  // What the search after a Restart or an address change found out.
  void ShowNews(const QString& news);
  QString Count() const;
  QString News() const;
  // The "Interfaces" menu offers this choice; a change is applied, remembered
  // (unless the command line chose) and followed by a search.
  void OfferInterfaces(InterfaceOffer offer);
  // What "Add camera by address…" (menu and list menu) does with the
  // address the user gave.
  void SetAddCamera(std::function<void(const QString&)> addCamera) { addCamera_ = std::move(addCamera); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void ShowListMenu(const QPoint& where);
  void FillInterfacesMenu();
  void TakeInterfaces(QStringList chosen);
  void Remember();
  void Press(const char* button);
  void AddCameraByAddress();

  QPointer<WindowView> view_;
  QLabel* news_;
  QLabel* count_;
  QLabel* interfacesNote_;
  QMenu* interfacesMenu_ = nullptr;
  InterfaceOffer interfaces_;
  std::function<void(const QString&)> addCamera_;
};

class WizardFrame : public QWidget {
  Q_OBJECT

 public:
  WizardFrame();

  // Shows the page, adding it the first time; Release takes it out.
  void ShowPage(WindowView& page);
  void Release(WindowView& page);
  // The page the frame shows, or one the logic still shows when that one
  // was hidden; nullptr when no page is shown any more.
  WindowView* CurrentPage() const;
  WindowView* ShownPage() const;

  void SetHeader(const QString& camera, const QString& step);
  QString Camera() const;
  QString Step() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QLabel* camera_;
  QLabel* step_;
  QStackedWidget* pages_;
};

// The count of cameras as the status bar says it.
QString CountText(int cameras);

// Forgets the remembered size, columns and sort (the tests start afresh).
void ForgetWindowPlaces();

}  // namespace desktop
