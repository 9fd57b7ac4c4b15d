#pragma once

#include <functional>

#include <QComboBox>

namespace tessivox {

// The MIDI port list. Port names can be far wider than the closed box: it
// shows them cut at the end with "…" instead of mid-word, and the whole name
// as its tooltip; the open list shows every name in full.
class PortList : public QComboBox {
  public:
    explicit PortList(QWidget* parent = nullptr);

    // The text the closed box shows.
    QString shownText() const;

    // Runs just before the list opens.
    std::function<void()> beforePopup;
    void showPopup() override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    // The whole name of the chosen port, then what the list holds.
    bool event(QEvent* event) override;

  private:
    QRect textRect(const QStyleOptionComboBox& option) const;
};

}  // namespace tessivox
