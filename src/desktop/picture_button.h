#pragma once
// A picture button: the wizard's buttons carry pictures with their wording
// painted in, not captions. The wording is also the button's text, so that
// keyboard users, screen readers and tests find it.
#include <QPushButton>

namespace desktop {

class PictureButton : public QPushButton {
  Q_OBJECT

 public:
  PictureButton(const QString& wording, QWidget* parent);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace desktop
