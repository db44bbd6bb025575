#include "desktop/frames.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHideEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QNetworkInterface>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

#include "desktop/address_dialog.h"
#include "desktop/bindings.h"
#include "device/net_options.h"

namespace desktop {

namespace {

QTreeView* ListOf(WindowView* view) {
  return view == nullptr ? nullptr : view->findChild<QTreeView*>(QStringLiteral("List"));
}

// Where the windows' places are remembered between runs.
QSettings Remembered() { return QSettings(QStringLiteral("sentrova"), QStringLiteral("sentrova")); }
const QString AddByAddressText = QStringLiteral("Add camera by &address…");
const QString GeometryKey = QStringLiteral("MainWindow/geometry");
const QString ColumnsKey = QStringLiteral("MainWindow/columns");
const QString InterfacesKey = QStringLiteral("MainWindow/interfaces");

// The widest text each column usually holds, in the list's font: a name,
// a MAC, an address, the "Assigned" mark, a Mode with its note and two
// notes of the Network column.
constexpr int NameCharacters = 16;
const char* const ColumnSamples[] = {nullptr, "DD DD DD DD DD DD",        "255.255.255.255",
                                     "ok",    "CS-200 — no login (open)", "other network, announced"};

// Each column as wide as its heading and its usual text; the width the
// list needs to show them all.
int FitColumns(QTreeView& list) {
  QHeaderView& header = *list.header();
  const QFontMetrics metrics(list.font());
  const int margin = 2 * metrics.averageCharWidth();
  int total = 0;
  for (int column = 0; column < header.count(); ++column) {
    const char* sample = column < static_cast<int>(std::size(ColumnSamples)) ? ColumnSamples[column] : nullptr;
    const int text = sample == nullptr ? NameCharacters * metrics.averageCharWidth()
                                       : metrics.horizontalAdvance(QString::fromUtf8(sample));
    const int width = std::max(header.sectionSizeHint(column), text + margin);
    header.resizeSection(column, width);
    total += width;
  }
  return total + list.verticalScrollBar()->sizeHint().width() + 2 * list.frameWidth();
}

// "eth0 — 192.0.2.1/24, 10.9.0.2/24": the name and its IPv4 networks.
QString InterfaceCaption(const QString& name) {
  QStringList networks;
  for (const QNetworkAddressEntry& entry : QNetworkInterface::interfaceFromName(name).addressEntries()) {
    if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol) continue;
    networks << QStringLiteral("%1/%2").arg(entry.ip().toString()).arg(entry.prefixLength());
  }
  return networks.isEmpty() ? name : name + QStringLiteral(" — ") + networks.join(QStringLiteral(", "));
}

}  // namespace

InterfaceOffer StartingInterfaces(const QStringList& commandLine) {
  InterfaceOffer offer;
  if (!commandLine.isEmpty()) {
    offer.chosen = commandLine;
    offer.remember = false;
    offer.confined = device::ChooseInterfaces(commandLine).loopbackOnly;
    return offer;
  }
  const QStringList remembered = Remembered().value(InterfacesKey).toStringList();
  if (remembered.isEmpty()) return offer;
  const device::InterfaceChoice choice = device::ChooseInterfaces(remembered);
  // The menu never offers loopback; a remembered one came from elsewhere.
  if (choice.error.isEmpty() && !choice.loopbackOnly) {
    offer.chosen = remembered;
  } else {
    offer.note = QStringLiteral("Searching on all interfaces: the remembered choice (%1) cannot be used")
                     .arg(remembered.join(QStringLiteral(", ")));
  }
  return offer;
}

void ForgetWindowPlaces() { Remembered().clear(); }

QString CountText(int cameras) {
  if (cameras == 0) return QStringLiteral("no cameras answered — check the cable and the firewall (docs)");
  return cameras == 1 ? QStringLiteral("1 camera") : QStringLiteral("%1 cameras").arg(cameras);
}

MainFrame::MainFrame() : news_(new QLabel(this)), count_(new QLabel(this)), interfacesNote_(new QLabel(this)) {
  setObjectName(QStringLiteral("MainFrame"));
  setAttribute(Qt::WA_QuitOnClose, false);
  news_->setObjectName(QStringLiteral("News"));
  count_->setObjectName(QStringLiteral("Count"));
  interfacesNote_->setObjectName(QStringLiteral("InterfacesNote"));
  statusBar()->addWidget(news_, 1);
  statusBar()->addWidget(interfacesNote_);
  statusBar()->addPermanentWidget(count_);
  auto* search = new QShortcut(QKeySequence(Qt::Key_F5), this);
  connect(search, &QShortcut::activated, this, [this] { Press("Command1"); });
  QMenu* cameras = menuBar()->addMenu(QStringLiteral("&Cameras"));
  cameras->setObjectName(QStringLiteral("CamerasMenu"));
  QAction* add = cameras->addAction(AddByAddressText, this, &MainFrame::AddCameraByAddress);
  add->setObjectName(QStringLiteral("AddByAddress"));
  add->setToolTip(QStringLiteral("Add a camera the search cannot reach (another VLAN, behind a router)"));
}

void MainFrame::AddCameraByAddress() {
  if (!addCamera_) return;
  if (const std::optional<QString> address = AskCameraAddress(*this)) addCamera_(*address);
}

void MainFrame::Hold(WindowView& view) {
  if (view_ == &view) return;
  view_ = &view;
  setCentralWidget(&view);
  setWindowTitle(view.windowTitle());
  connect(&view, &QWidget::windowTitleChanged, this, &QWidget::setWindowTitle);
  if (QTreeView* list = ListOf(&view)) {
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, &MainFrame::ShowListMenu);
    FitColumns(*list);
    if (list->header()->restoreState(Remembered().value(ColumnsKey).toByteArray())) {
      list->sortByColumn(list->header()->sortIndicatorSection(), list->header()->sortIndicatorOrder());
    }
  }
}

// A screen too narrow for every column (a large font at a large scale)
// shows the Mode, with its "no login" note, right after the name.
void MainFrame::Place() {
  if (restoreGeometry(Remembered().value(GeometryKey).toByteArray())) return;
  QTreeView* list = ListOf(view_);
  const int extra = list == nullptr ? 0 : std::max(0, FitColumns(*list) - list->sizeHint().width());
  const QSize wanted = sizeHint().expandedTo(QSize(0, 440)) + QSize(extra, 0);
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect room = screen == nullptr ? QRect(QPoint(), wanted) : screen->availableGeometry();
  QRect place(QPoint(), wanted.boundedTo(room.size() * 9 / 10));
  place.moveCenter(room.center());
  setGeometry(place);
  if (list != nullptr && place.width() < wanted.width()) {
    QHeaderView& header = *list->header();
    header.moveSection(header.visualIndex(ListModeColumn), ListNameColumn + 1);
  }
}

void MainFrame::Remember() {
  QSettings settings = Remembered();
  settings.setValue(GeometryKey, saveGeometry());
  if (QTreeView* list = ListOf(view_)) settings.setValue(ColumnsKey, list->header()->saveState());
}

void MainFrame::hideEvent(QHideEvent* event) {
  if (!event->spontaneous()) Remember();
  QMainWindow::hideEvent(event);
}

void MainFrame::Release(WindowView& view) {
  if (view_ != &view) return;
  takeCentralWidget();
  view_ = nullptr;
}

void MainFrame::ShowCount(int cameras) { count_->setText(CountText(cameras)); }
void MainFrame::ShowSearching() { count_->setText(QStringLiteral("Searching for cameras…")); }
void MainFrame::ShowNews(const QString& news) { news_->setText(news); }
QString MainFrame::Count() const { return count_->text(); }
QString MainFrame::News() const { return news_->text(); }

void MainFrame::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (view_) view_->CloseFromFrame();
}

// The actions on the row under the pointer (chosen by the click that opened
// the menu): the logic's own buttons, and copies of what the row shows.
void MainFrame::ShowListMenu(const QPoint& where) {
  QTreeView* list = ListOf(view_);
  if (list == nullptr) return;
  const QModelIndex row = list->indexAt(where);
  if (!row.isValid()) return;
  auto cell = [row](int column) { return row.sibling(row.row(), column).data().toString(); };
  QMenu menu(list);
  menu.setObjectName(QStringLiteral("ListMenu"));
  menu.addAction(QStringLiteral("Start the &wizard"), this, [this] { Press("CmdWizard"); });
  menu.addAction(QStringLiteral("Open the web &page"), this, [this] { Press("CmdLink"); });
  menu.addSeparator();
  const QString address = cell(ListAddressColumn);
  const QString mac = cell(ListMacColumn);
  menu.addAction(QStringLiteral("Copy &address"), this, [address] { QGuiApplication::clipboard()->setText(address); });
  menu.addAction(QStringLiteral("Copy &MAC"), this, [mac] { QGuiApplication::clipboard()->setText(mac); });
  menu.addSeparator();
  menu.addAction(AddByAddressText, this, &MainFrame::AddCameraByAddress);
  menu.exec(list->viewport()->mapToGlobal(where));
}

void MainFrame::OfferInterfaces(InterfaceOffer offer) {
  interfaces_ = std::move(offer);
  interfacesNote_->setText(interfaces_.note);
  if (interfacesMenu_ == nullptr) {
    interfacesMenu_ = menuBar()->addMenu(QStringLiteral("&Interfaces"));
    interfacesMenu_->setObjectName(QStringLiteral("InterfacesMenu"));
    interfacesMenu_->setToolTipsVisible(true);
    // Interfaces come and go while the program runs.
    connect(interfacesMenu_, &QMenu::aboutToShow, this, &MainFrame::FillInterfacesMenu);
  }
  FillInterfacesMenu();
}

// "All interfaces", then each up, multicast-capable interface with its
// networks (and any chosen one that is not, so that it can be unchosen);
// each action's data is the interface's name, "" for all.
void MainFrame::FillInterfacesMenu() {
  QMenu& menu = *interfacesMenu_;
  menu.clear();
  if (interfaces_.confined) {
    for (const QString& name : interfaces_.chosen) {
      QAction* only = menu.addAction(InterfaceCaption(name));
      only->setData(name);
      only->setCheckable(true);
      only->setChecked(true);
      only->setEnabled(false);
      only->setToolTip(QStringLiteral("Started with --interface %1: the program is confined to the loopback network "
                                      "127.0.0.0/8 and uses no other interface")
                           .arg(name));
    }
    return;
  }
  QAction* all = menu.addAction(QStringLiteral("&All interfaces"), this, [this] { TakeInterfaces({}); });
  all->setData(QString());
  all->setCheckable(true);
  all->setChecked(interfaces_.chosen.isEmpty());
  menu.addSeparator();
  QStringList names;
  for (const device::ChosenInterface& searchable : device::SearchableInterfaces()) {
    names << searchable.interface.name();
  }
  for (const QString& name : interfaces_.chosen) {
    if (!names.contains(name)) names << name;
  }
  for (const QString& name : names) {
    QAction* one = menu.addAction(InterfaceCaption(name), this, [this, name] {
      QStringList chosen = interfaces_.chosen;
      if (chosen.removeAll(name) == 0) chosen << name;
      TakeInterfaces(chosen);
    });
    one->setData(name);
    one->setCheckable(true);
    one->setChecked(interfaces_.chosen.contains(name));
  }
}

// The menu is filled again when it next shows: the action that called this
// is still being triggered.
void MainFrame::TakeInterfaces(QStringList chosen) {
  chosen.sort();
  interfaces_.chosen = chosen;
  interfaces_.note.clear();
  interfacesNote_->clear();
  if (interfaces_.remember) Remembered().setValue(InterfacesKey, chosen);
  if (interfaces_.apply) interfaces_.apply(chosen);
  Press("Command1");
}

// Runs one of the view's buttons as if clicked, when it can be clicked.
void MainFrame::Press(const char* button) {
  if (!view_) return;
  auto* shown = view_->findChild<QAbstractButton*>(QString::fromLatin1(button));
  if (shown != nullptr && shown->isEnabled() && shown->isVisible()) shown->click();
}

WizardFrame::WizardFrame() : camera_(new QLabel(this)), step_(new QLabel(this)), pages_(new QStackedWidget(this)) {
  setObjectName(QStringLiteral("WizardFrame"));
  setAttribute(Qt::WA_QuitOnClose, false);
  camera_->setObjectName(QStringLiteral("WizardCamera"));
  step_->setObjectName(QStringLiteral("WizardStep"));
  QFont bold = camera_->font();
  bold.setBold(true);
  camera_->setFont(bold);
  camera_->setTextFormat(Qt::PlainText);
  auto* header = new QHBoxLayout;
  header->addWidget(camera_, 1);
  header->addWidget(step_);
  auto* rule = new QFrame(this);
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);
  auto* body = new QVBoxLayout(this);
  body->addLayout(header);
  body->addWidget(rule);
  body->addWidget(pages_, 1);
}

// The page's own focus stays as its model says: the stack would move the
// focus from the old page to the new one's first field, so the old page
// lets go of it first.
void WizardFrame::ShowPage(WindowView& page) {
  if (pages_->indexOf(&page) < 0) pages_->addWidget(&page);
  QWidget* old = pages_->currentWidget();
  if (old != nullptr && old != &page) {
    if (QWidget* focused = QApplication::focusWidget(); focused != nullptr && old->isAncestorOf(focused)) {
      focused->clearFocus();
    }
  }
  pages_->setCurrentWidget(&page);
  setWindowTitle(page.windowTitle());
  // A page that needs more room than the frame has gets it.
  if (isVisible()) resize(size().expandedTo(sizeHint()));
}

void WizardFrame::Release(WindowView& page) {
  if (pages_->indexOf(&page) < 0) return;
  pages_->removeWidget(&page);
  page.setParent(nullptr);
}

WindowView* WizardFrame::CurrentPage() const { return qobject_cast<WindowView*>(pages_->currentWidget()); }

WindowView* WizardFrame::ShownPage() const {
  WindowView* current = CurrentPage();
  if (current != nullptr && current->ShownByModel()) return current;
  for (int index = 0; index < pages_->count(); ++index) {
    auto* page = qobject_cast<WindowView*>(pages_->widget(index));
    if (page != nullptr && page->ShownByModel()) return page;
  }
  return nullptr;
}

void WizardFrame::SetHeader(const QString& camera, const QString& step) {
  camera_->setText(camera);
  step_->setText(step);
}
QString WizardFrame::Camera() const { return camera_->text(); }
QString WizardFrame::Step() const { return step_->text(); }

void WizardFrame::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (WindowView* page = CurrentPage()) page->CloseFromFrame();
}

}  // namespace desktop
