#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QComboBox>

namespace tessivox {

class MidiPorts;
struct MidiPortNews;

// The MIDI port list. Port names can be far wider than the closed box: it
// shows them cut at the end with "…" instead of mid-word, and the whole name
// as its tooltip; the open list shows every name in full. It is listed
// afresh each time it opens: at once with the names known last, then with
// the new ones when the MIDI side's thread has them. Its selected entry is
// midiPortIndex.
class PortList : public QComboBox {
  public:
    PortList(MidiPorts& midi, QWidget* parent = nullptr);

    // At start-up, before the MIDI port is opened: listed here and now, the
    // first entry selected.
    void listNow();
    // The user chose another entry: the port change is asked for.
    void change(int index);
    // Shows a new list from the MIDI side, unless a choice made since would
    // be undone by its selection.
    void takeList(MidiPortNews& news);

    // The text the closed box shows.
    QString shownText() const;

    void showPopup() override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    // The whole name of the chosen port, then what the list holds.
    bool event(QEvent* event) override;

  private:
    QRect textRect(const QStyleOptionComboBox& option) const;
    void showNames(const std::vector<std::string>& names, int selected);

    MidiPorts& midi_;
    uint32_t serial_ = 0;      // of the list shown
    uint64_t changeAsked_ = 0;  // the newest change's request
};

}  // namespace tessivox
