#pragma once
// One window on screen: its painted background, its control widgets, and for
// each widget how it is redrawn from the headless control it shows. The view
// reads and writes the window's model only while it is attached; once the
// window is unloaded the model goes away and the view only waits to be
// deleted.
#include <QString>
#include <QWidget>
#include <functional>
#include <map>
#include <vector>

#include "forms/controls.h"

namespace desktop {

// Wording painted into a window's background picture.
struct PaintedText {
  enum class Style { Caption, Heading, Paragraph };
  QRect place;
  QString text;
  Style style = Style::Caption;
};

struct Background {
  QString heading;                   // the band across the top; empty: no band
  std::vector<PaintedText> texts;
  std::vector<QRect> groups;         // outlined groups of fields
  int buttonColumnWidth = 0;         // the main window: a left column and a vertical rule
};

class WindowView : public QWidget {
  Q_OBJECT

 public:
  WindowView(forms::FormModel& form, Background background, QSize size);

  // Keeps the widget in step with its control: render is called after every
  // handler. The control also names the widget for the focus.
  void Bind(QWidget& widget, const forms::Control* control, std::function<void()> render);

  // The tab order follows the controls' tab indexes (ties keep the order
  // they were bound in).
  void ApplyTabOrder();
  // Model to widgets: every control, the caption and the focus.
  void Render();
  // The model is gone: no more reads or writes through this view.
  void Detach();
  bool Attached() const { return form_ != nullptr; }
  bool Rendering() const { return rendering_; }

  // The user moved the focus to this widget (or a part of it): the model's
  // focus follows, so that the next render keeps it there.
  void FocusMovedTo(QWidget* widget);
  QWidget* WidgetOf(const forms::Control* control) const;

  // What closing the window from its frame does; nothing when unset.
  std::function<void()> onClose;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Binding {
    QWidget* widget;
    const forms::Control* control;
    std::function<void()> render;
  };
  forms::FormModel* form_;
  Background background_;
  std::vector<Binding> bindings_;
  bool rendering_ = false;
};

}  // namespace desktop
