#pragma once
// The link log: how frames, replies and failed exchanges are written as text. One formatter serves the
// debugger window's two panes and the command-line trace file.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTime>
#include <functional>

namespace tarn::link {

// Failure classes of an exchange.
enum class LinkLogCode : int {
    TransmissionError = 1,
    NothingReceived = 2,
    MoreThanExpected = 3,
    StatusNotZero = 4,
    CountDiffers = 5,
    ChecksumMismatch = 6,
};

// The class text in the language, held in a field of 25 characters (longer texts are cut there).
inline constexpr int kLinkLogTextField = 25;
QString linkLogCodeText(LinkLogCode code, int languageIndex);

// One row of options of the debugger: "к. б / HEX ", "СИМ", "ВРЕМЯ".
struct LinkLogRow {
    bool hex = true;
    bool chars = false;
    bool time = false;
    bool operator==(const LinkLogRow&) const = default;
};

struct LinkLogOptions {
    LinkLogRow send{true, false, false};
    LinkLogRow receive{true, true, false};
    bool formatted = true;                       // "Ф"
    QString bytesPerLine = QStringLiteral("32"); // the field's text, as typed
    bool invertLpt = true;                       // "ИНВ", read by the LPT bus
};

// The bytes-per-line field as a number: text that is not a whole number gives the default 32, and the
// value is kept within 1..256 so that no entry divides by zero or pads without end.
inline constexpr int kDefaultBytesPerLine = 32;
inline constexpr int kMaxBytesPerLine = 256;
int bytesPerLineValue(const QString& text);

// "02 00 20 DD " : two upper-case digits and a blank per byte.
QString hexForm(const QByteArray& bytes);
// The bytes as Windows-1251 characters without the codes 0, 1, 2, 10 and 13.
QString charForm(const QByteArray& bytes);
// "кіл.б-т =" or "кол.б-т=".
QString countPrefix(int languageIndex);

class LinkLogFormatter {
public:
    LinkLogFormatter(const LinkLogOptions& options, int languageIndex)
        : options_(options), language_(languageIndex) {}

    // A sent frame or a received reply, by the row's options.
    QStringList entry(const QByteArray& bytes, const LinkLogRow& row, const QTime& now) const;
    // A failed exchange: *НАЧАЛО* line, the last request, the bytes received, *КОНЕЦ*.
    QStringList failure(LinkLogCode code, const QByteArray& lastRequest, const QByteArray& received,
                        const QTime& now) const;
    // A zone of memory read over LPT, by the receive row's options.
    QStringList zone(int zoneNumber, const QByteArray& bytes) const;

private:
    QStringList dump(const QByteArray& bytes, bool withChars) const;
    static QStringList charLines(const QByteArray& bytes);

    const LinkLogOptions& options_;
    int language_;
};

// The two panes of the debugger, kept whether or not the window is open. Nothing is logged unless
// enabled ("отладчик" in the settings window).
class LinkLog : public QObject {
    Q_OBJECT
public:
    enum class Pane { Send, Receive };
    // A pane that holds more than this many lines is cleared before the next entry.
    static constexpr int kPaneLineLimit = 300;

    explicit LinkLog(QObject* parent = nullptr) : QObject(parent) {}

    bool enabled = false;
    LinkLogOptions options;
    void setLanguage(int languageIndex) { language_ = languageIndex; }
    int language() const { return language_; }
    // The clock of the time lines (tests set a fixed one).
    std::function<QTime()> clock = [] { return QTime::currentTime(); };

    void logSent(const QByteArray& bytes);
    void logReceived(const QByteArray& bytes);
    void logFailure(LinkLogCode code, const QByteArray& received, const QByteArray& lastRequest);
    void logZone(int zoneNumber, const QByteArray& bytes);
    void clearPanes();

    const QStringList& sendPane() const { return send_; }
    const QStringList& receivePane() const { return receive_; }

signals:
    // Every entry as it is added (the trace file), and every change of a pane (the window).
    void entryAdded(tarn::link::LinkLog::Pane pane, const QStringList& lines);
    void panesChanged();

private:
    void add(Pane pane, const QStringList& lines);

    QStringList send_;
    QStringList receive_;
    int language_ = 1;
};

} // namespace tarn::link
