#pragma once
// One window's contents on screen: its control widgets in a grid, a row of
// buttons along the bottom, a place for the progress of a long wait, and for
// each widget how it is redrawn from the headless control it shows. The view
// reads and writes the window's model only while it is attached; once the
// window is unloaded the model goes away and the view only waits to be
// deleted.
//
// A view is a window of its own (the dialogs) or sits in a frame: the main
// window, or the wizard frame that holds the pages.
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "forms/controls.h"

class QAbstractButton;
class QGridLayout;
class QHBoxLayout;
class QLabel;

class QVBoxLayout;

namespace desktop {

class WindowView : public QWidget {
  Q_OBJECT

 public:
  explicit WindowView(forms::FormModel& form);

  // Keeps the widget in step with its control: render is called after every
  // handler. The control also names the widget for the focus.
  void Bind(QWidget& widget, const forms::Control* control, std::function<void()> render);

  // Where the widgets go: the heading above everything, the grid of
  // captions and fields, the buttons along the bottom (right-aligned).
  void SetHeading(const QString& heading);
  QGridLayout& Grid() { return *grid_; }
  // The grid takes the room the window gets (a list), rather than the
  // space below it.
  void LetGridGrow();
  QHBoxLayout& ButtonRow() { return *buttons_; }

  // Enter presses the push button that has the focus, as in a dialog, and
  // from anywhere else the default button, when it is enabled and shown;
  // none by default.
  void SetDefaultButton(QPushButton* button);
  QPushButton* DefaultButton() const { return defaultButton_; }
  // Enter presses no button at all, not even the one with the focus.
  void RefuseEnter() { enterRefused_ = true; }

  // A long wait's progress, above the buttons; the view takes it. The
  // window's buttons show switched off meanwhile, as they take no clicks.
  void ShowWait(QWidget& wait);
  // The wait is over: its progress goes and the buttons are as before.
  void EndWait();

  // The tab order follows the controls' tab indexes (ties keep the order
  // they were bound in).
  void ApplyTabOrder();
  // Model to widgets: every control, the caption and the focus.
  void Render();
  // The model is gone: no more reads or writes through this view.
  void Detach();
  bool Attached() const { return form_ != nullptr; }
  bool Rendering() const { return rendering_; }
  // What the model says: shown or hidden.
  bool ShownByModel() const { return form_ != nullptr && form_->visible; }
  QString Caption() const;

  // The user moved the focus to this widget (or a part of it): the model's
  // focus follows, so that the next render keeps it there.
  void FocusMovedTo(QWidget* widget);
  QWidget* WidgetOf(const forms::Control* control) const;

  // Closing the window from its frame (its own or the frame it sits in) is
  // its own way out; nothing when unset.
  std::function<void()> onClose;
  void CloseFromFrame();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct Binding {
    QWidget* widget;
    const forms::Control* control;
    std::function<void()> render;
  };
  forms::FormModel* form_;
  QLabel* heading_;
  QGridLayout* grid_;
  QVBoxLayout* body_;
  QVBoxLayout* waitSlot_;
  QHBoxLayout* buttons_;
  QPointer<QPushButton> defaultButton_;
  QPointer<QWidget> wait_;
  std::vector<QPointer<QAbstractButton>> heldButtons_;  // switched off for the wait
  std::vector<Binding> bindings_;
  bool rendering_ = false;
  bool enterRefused_ = false;
};

}  // namespace desktop
