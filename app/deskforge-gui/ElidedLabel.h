// A one-line label that shows as much of its text as fits, ending in "…", with the whole
// text as its tooltip: long texts give way to what sits beside them instead of pushing it
// out of sight.
#pragma once

#include <QFrame>
#include <QString>

namespace ravelin::gui {

class ElidedLabel final : public QFrame {
  public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return text_; }
    // What the label shows at its present width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
};

} // namespace ravelin::gui
