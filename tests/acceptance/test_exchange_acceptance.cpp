// Acceptance checks of the corrector link as a service engineer meets it on a real line: the frames that go
// out and the payloads that come back, a line that loses, garbles, cuts or prefixes replies, the link trace,
// the identification every operation starts with, the order of the read queue and the programmable items.
// tarn-cli and corrector-sim run as processes only. Between them sits a line of this test's own (two
// pseudo-terminals and a thread) that can lose or spoil chosen replies, so a bad line is played exactly and
// the same way every run; the requests are counted in the simulator's line log, never by the clock.
// Every frame, check sum and trace line expected here is worked out here from first principles.
#include "acceptance/AcceptanceReaders.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTime>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {

const QString kSimProgram = QStringLiteral(TARN_SIM_PROGRAM);

// The passwords of fields 1..7 (operator A, B, C, master E, F, configurator, verifier).
const QJsonArray kLinePasswords{"1111", "2222", "3333", "4444", "5555", "6666", "7777"};

// A reply time-out long enough that a loaded machine never turns a good reply into a repeat, short enough
// that a test of lost replies does not wait long.
const QString kReplyTimeoutMs = QStringLiteral("1000");

// ---------------------------------------------------------------- frames, worked out here

QByteArray bytesOf(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(char(v & 0xFF));
    return out;
}

// The 8-bit sum of the bytes, inverted.
quint8 checksumOf(const QByteArray& bytes) {
    unsigned sum = 0;
    for (char c : bytes)
        sum += quint8(c);
    return quint8(~sum & 0xFF);
}

QByteArray withChecksum(QByteArray bytes) {
    bytes.append(char(checksumOf(bytes)));
    return bytes;
}

constexpr quint8 kOpRead = 0x00, kOpArchiveLow = 0x20, kOpArchiveHigh = 0x21, kOpPage = 0x40, kOpWrite = 0x80;

// A read asks for count bytes (0 for 256) at the address byte; the link address sits in bits 1..4.
QByteArray readFrame(int linkAddress, quint8 op, quint8 at, quint8 count) {
    return withChecksum(bytesOf({linkAddress * 2 | op, at, count}));
}

// A write carries the low 8 bits of its data's length, then the data.
QByteArray writeFrame(int linkAddress, quint8 at, const QByteArray& data) {
    const QByteArray b = bytesOf({linkAddress * 2 | kOpWrite, at, int(data.size())});
    return withChecksum(b + data);
}

// How long a good reply to the request is: status, payload, check sum; a write's reply has no payload.
qsizetype replyLengthFor(const QByteArray& request) {
    if (quint8(request.at(0)) & kOpWrite) return 2;
    const int count = quint8(request.at(2));
    return (count == 0 ? 256 : count) + 2;
}

bool isWrite(const QByteArray& request) {
    return !request.isEmpty() && (quint8(request.at(0)) & kOpWrite);
}

QByteArray hexBytes(const char* spaced) {
    return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}

QString upperHex(const QByteArray& b) {
    return QString::fromLatin1(b.toHex()).toUpper();
}

QByteArray le32(quint32 v) {
    QByteArray b;
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
    return b;
}

QByteArray floatBytes(float f) {
    quint32 bits = 0;
    std::memcpy(&bits, &f, 4);
    return le32(bits);
}

float floatFrom(const QByteArray& b) {
    quint32 bits = 0;
    for (int i = 3; i >= 0; --i)
        bits = (bits << 8) | quint8(b.at(i));
    float f = 0;
    std::memcpy(&f, &bits, 4);
    return f;
}

// ---------------------------------------------------------------- the simulator's line log

struct LoggedFrame {
    bool request = false; // true: towards the corrector
    QByteArray bytes;
};

// "HH:mm:ss.zzz <- 02 00 20 DD" for what the corrector received, "->" for what it sent.
std::optional<QList<LoggedFrame>> readLineLog(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    static const QRegularExpression line(
        QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d (<-|->) ((?:[0-9A-F]{2} ?)*)$"));
    QList<LoggedFrame> frames;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString text = QString::fromLatin1(raw).trimmed();
        if (text.isEmpty()) continue;
        const QRegularExpressionMatch m = line.match(text);
        if (!m.hasMatch()) return std::nullopt;
        frames.append({m.captured(1) == QLatin1String("<-"), QByteArray::fromHex(m.captured(2).toLatin1())});
    }
    return frames;
}

QList<QByteArray> requestsOf(const QList<LoggedFrame>& log) {
    QList<QByteArray> out;
    for (const LoggedFrame& f : log)
        if (f.request) out.append(f.bytes);
    return out;
}

int countOf(const QList<QByteArray>& frames, const QByteArray& frame) {
    return int(std::count(frames.begin(), frames.end(), frame));
}

// ---------------------------------------------------------------- a line of our own between the two

// What the line does to the reply of one request.
enum class Fault {
    none,
    lostRequest,  // the request never reaches the corrector
    lostReply,    // the corrector answers, nothing arrives
    badChecksum,  // the last byte of the reply is spoiled
    cutShort,     // the reply ends three bytes early
    noiseBefore,  // three bytes of line noise arrive before the reply
    otherPayload, // a payload byte differs, the check sum made to fit (a reply that is good but changed)
    inTwoParts,   // the good reply arrives as two pieces a tenth of a second apart
    otherValue,   // an item's four value bytes replaced by the line's chosen ones, the check sum made to fit
    status20,     // the corrector's refusals in place of the reply: status byte and check sum
    status28,
    status40,
    status08,
};

// The status byte of a refusal fault, or -1.
int statusOf(Fault f) {
    switch (f) {
    case Fault::status20:
        return 0x20;
    case Fault::status28:
        return 0x28;
    case Fault::status40:
        return 0x40;
    case Fault::status08:
        return 0x08;
    default:
        return -1;
    }
}

const char* faultName(Fault f) {
    switch (f) {
    case Fault::none:
        return "none";
    case Fault::lostRequest:
        return "lostRequest";
    case Fault::lostReply:
        return "lostReply";
    case Fault::badChecksum:
        return "badChecksum";
    case Fault::cutShort:
        return "cutShort";
    case Fault::noiseBefore:
        return "noiseBefore";
    case Fault::otherPayload:
        return "otherPayload";
    case Fault::inTwoParts:
        return "inTwoParts";
    case Fault::otherValue:
        return "otherValue";
    case Fault::status20:
        return "status20";
    case Fault::status28:
        return "status28";
    case Fault::status40:
        return "status40";
    case Fault::status08:
        return "status08";
    }
    return "?";
}

// Two pseudo-terminals joined by a thread: the program opens one as its COM port, the other end is the
// simulator's line. Requests pass whole; the reply to a request the plan names is held until complete
// and then spoiled as planned. Everything is recorded as it passed.
class FaultyLine {
public:
    struct Passage {
        QByteArray request;
        Fault fault = Fault::none;
        QByteArray reply;     // as the corrector sent it
        QByteArray delivered; // as the program got it
    };

    ~FaultyLine() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        for (int fd : {master_, slaveKept_, sim_})
            if (fd >= 0) ::close(fd);
        if (!programLink_.isEmpty()) QFile::remove(programLink_);
    }

    bool open(const QString& simLine, const QString& programLink) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return false;
        const char* slaveName = ::ptsname(master_);
        if (!slaveName) return false;
        // Held open so that the program's closing and re-opening of its port never hangs our end up.
        slaveKept_ = ::open(slaveName, O_RDWR | O_NOCTTY | O_NONBLOCK);
        sim_ = ::open(QFile::encodeName(simLine).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (slaveKept_ < 0 || sim_ < 0 || !makeRaw(slaveKept_) || !makeRaw(sim_)) return false;
        QFile::remove(programLink);
        if (!QFile::link(QString::fromLocal8Bit(slaveName), programLink)) return false;
        programLink_ = programLink;
        thread_ = std::thread([this] { run(); });
        return true;
    }

    // The faults of the first replies to this request, in order, then what happens to every later one.
    void plan(const QByteArray& request, QList<Fault> first, Fault thereafter = Fault::none) {
        std::lock_guard lock(mutex_);
        plans_[request] = {std::move(first), thereafter};
    }
    // The payload byte an otherPayload fault changes.
    void setPayloadOffset(int offset) {
        std::lock_guard lock(mutex_);
        payloadOffset_ = offset;
    }
    // The value bytes an otherValue fault puts into an item reply (payload bytes 2..5).
    void setOtherValue(const QByteArray& value) {
        std::lock_guard lock(mutex_);
        otherValue_ = value;
    }
    void clearPlans() {
        std::lock_guard lock(mutex_);
        plans_.clear();
        seen_.clear();
    }
    QList<Passage> passages() const {
        std::lock_guard lock(mutex_);
        return passages_;
    }
    void forget() {
        std::lock_guard lock(mutex_);
        passages_.clear();
    }
    // Bytes left unread on the program's side by a run that ended are no concern of the next run.
    void drainProgramSide() const { ::tcflush(slaveKept_, TCIFLUSH); }

private:
    struct Plan {
        QList<Fault> first;
        Fault thereafter = Fault::none;
    };

    static bool makeRaw(int fd) {
        termios t{};
        if (::tcgetattr(fd, &t) != 0) return false;
        ::cfmakeraw(&t);
        return ::tcsetattr(fd, TCSANOW, &t) == 0;
    }

    static void writeAll(int fd, const QByteArray& bytes) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += n;
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return;
            else
                ::poll(nullptr, 0, 1);
        }
    }

    void run() {
        pollfd fds[2] = {{master_, POLLIN, 0}, {sim_, POLLIN, 0}};
        char buffer[4096];
        while (!stop_) {
            if (::poll(fds, 2, 20) <= 0) continue;
            if (fds[0].revents & POLLIN) {
                const ssize_t n = ::read(master_, buffer, sizeof buffer);
                if (n > 0) fromProgram(QByteArray(buffer, n));
            }
            if (fds[1].revents & POLLIN) {
                const ssize_t n = ::read(sim_, buffer, sizeof buffer);
                if (n > 0) fromCorrector(QByteArray(buffer, n));
            } else if (fds[1].revents & (POLLHUP | POLLERR)) {
                fds[1].fd = -1; // the simulator has ended
            }
        }
    }

    void fromProgram(const QByteArray& bytes) {
        pending_ += bytes;
        while (!pending_.isEmpty()) {
            qsizetype length = 4;
            if (quint8(pending_.at(0)) & kOpWrite) {
                if (pending_.size() < 3) return;
                const int n = quint8(pending_.at(2));
                length = 3 + (n == 0 ? 256 : n) + 1;
            }
            if (pending_.size() < length) return;
            const QByteArray frame = pending_.left(length);
            pending_.remove(0, length);
            Fault fault = Fault::none;
            {
                std::lock_guard lock(mutex_);
                const auto plan = plans_.find(frame);
                if (plan != plans_.end()) {
                    const int occurrence = seen_[frame]++;
                    fault = occurrence < plan->second.first.size() ? plan->second.first.at(occurrence)
                                                                   : plan->second.thereafter;
                }
                passages_.append({frame, fault, {}, {}});
                current_ = passages_.size() - 1;
                expected_ = replyLengthFor(frame);
                replyDone_ = false;
            }
            if (fault != Fault::lostRequest) writeAll(sim_, frame);
        }
    }

    void fromCorrector(const QByteArray& bytes) {
        QByteArray out, later;
        {
            std::lock_guard lock(mutex_);
            if (current_ < 0 || replyDone_) {
                out = bytes;
            } else {
                Passage& p = passages_[current_];
                p.reply += bytes;
                if (p.fault == Fault::none) {
                    out = bytes;
                } else if (p.reply.size() >= expected_) {
                    QByteArray r = p.reply;
                    switch (p.fault) {
                    case Fault::lostReply:
                    case Fault::lostRequest:
                        r.clear();
                        break;
                    case Fault::badChecksum:
                        r[r.size() - 1] = char(quint8(r.back()) ^ 0x5A);
                        break;
                    case Fault::cutShort:
                        r.chop(3);
                        break;
                    case Fault::noiseBefore:
                        r.prepend(hexBytes("55 AA 13"));
                        break;
                    case Fault::otherPayload:
                        r[1 + payloadOffset_] = char(quint8(r.at(1 + payloadOffset_)) ^ 0x01);
                        r[r.size() - 1] = char(checksumOf(r.left(r.size() - 1)));
                        break;
                    case Fault::otherValue:
                        r.replace(3, 4, otherValue_);
                        r[r.size() - 1] = char(checksumOf(r.left(r.size() - 1)));
                        break;
                    case Fault::inTwoParts:
                        later = r.mid(r.size() / 2);
                        r.truncate(r.size() / 2);
                        break;
                    case Fault::status20:
                    case Fault::status28:
                    case Fault::status40:
                    case Fault::status08:
                        r = withChecksum(bytesOf({statusOf(p.fault)}));
                        break;
                    case Fault::none:
                        break;
                    }
                    out = r;
                    replyDone_ = true;
                }
                p.delivered += out + later;
            }
        }
        if (!out.isEmpty()) writeAll(master_, out);
        if (!later.isEmpty()) {
            ::poll(nullptr, 0, 100);
            writeAll(master_, later);
        }
    }

    int master_ = -1, slaveKept_ = -1, sim_ = -1;
    QString programLink_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::map<QByteArray, Plan> plans_;
    std::map<QByteArray, int> seen_;
    QList<Passage> passages_;
    QByteArray pending_;
    QByteArray otherValue_;
    int payloadOffset_ = 0;
    qsizetype current_ = -1;
    qsizetype expected_ = 0;
    bool replyDone_ = false;
};

// ---------------------------------------------------------------- installation, simulator and line

using Result = tarn::test::CliText;

QJsonObject jsonOf(const Result& r) {
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

class Bench {
public:
    Bench() {
        home_ = dir_.path() + QStringLiteral("/home");
        QDir().mkpath(home_);
        initialised_ = tarn::test::runCliIn(home_, {QStringLiteral("init")}).code == 0;
        // The pause before each request is no subject of these checks: without it a whole read queue
        // takes a fraction of the time, and nothing asserted here depends on it.
        initialised_ =
            initialised_ && tarn::test::runCliIn(home_, {QStringLiteral("settings"), QStringLiteral("set"),
                                                         QStringLiteral("writeDelayMs=0")})
                                    .code == 0;
        writeFile(QStringLiteral("Work/Type_Leng.000"), "RU\r\n");
    }
    ~Bench() { line_.reset(); }

    QString scratch(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
    QString simLog() const { return scratch(QStringLiteral("line.log")); }

    // A corrector of the preset at a link address, reached by the program on COM1 through our line.
    bool start(const QString& preset, int linkAddress = 1) {
        if (!initialised_) return false;
        linkAddress_ = linkAddress;
        const QJsonObject device{{"role", "corrector"},
                                 {"address", linkAddress},
                                 {"preset", preset},
                                 {"passwords", kLinePasswords}};
        const QByteArray scenario = QJsonDocument(QJsonObject{{"devices", QJsonArray{device}}}).toJson();
        sim_ = std::make_unique<tarn::test::SimProcess>();
        const QString simLine = scratch(QStringLiteral("sim-line"));
        if (!sim_->start(kSimProgram, scratch(QStringLiteral("scenario.json")), scenario, simLine,
                         {QStringLiteral("--log"), simLog(), QStringLiteral("--dump"),
                          scratch(QStringLiteral("dump.json"))}))
            return false;
        line_ = std::make_unique<FaultyLine>();
        const QString programLink = scratch(QStringLiteral("com1"));
        if (!line_->open(simLine, programLink)) return false;
        writeFile(QStringLiteral("Work/PortMap.000"), "COM1 " + programLink.toLocal8Bit() + "\r\n");
        return true;
    }

    FaultyLine& line() { return *line_; }
    int linkAddress() const { return linkAddress_; }

    // tarn-cli on COM1 at the corrector's address, with the reply time-out of these tests.
    Result cli(const QStringList& args) {
        line_->drainProgramSide();
        const QStringList global{QStringLiteral("--port"),    QStringLiteral("COM1"),
                                 QStringLiteral("--address"), QString::number(linkAddress_),
                                 QStringLiteral("--timeout"), kReplyTimeoutMs};
        return tarn::test::runCliIn(home_, global + args).text();
    }

    // Ends the simulator: the corrector's state at the end and the whole line log.
    struct Ending {
        QJsonObject corrector;
        QList<LoggedFrame> log;
    };
    std::optional<Ending> finish() {
        if (!sim_ || !sim_->finish()) return std::nullopt;
        sim_.reset();
        const std::optional<QJsonObject> dump =
            acceptance::firstCorrectorOfDump(scratch(QStringLiteral("dump.json")));
        const std::optional<QList<LoggedFrame>> log = readLineLog(simLog());
        if (!dump || !log) return std::nullopt;
        return Ending{*dump, *log};
    }

    void writeFile(const QString& relative, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(home_ + QLatin1Char('/') + relative).path());
        QFile f(home_ + QLatin1Char('/') + relative);
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    }

private:
    QTemporaryDir dir_;
    QString home_;
    bool initialised_ = false;
    int linkAddress_ = 1;
    std::unique_ptr<tarn::test::SimProcess> sim_;
    std::unique_ptr<FaultyLine> line_;
};

// The words a preset holds before anything is written to it.
QStringList pristineWords(const QString& preset) {
    Bench probe;
    if (!probe.start(preset)) return {};
    const auto end = probe.finish();
    if (!end) return {};
    QStringList words;
    for (const QJsonValue& w : end->corrector.value(QStringLiteral("words")).toArray())
        words.append(w.toString().toLower());
    return words;
}

QStringList wordsOf(const QJsonObject& corrector) {
    QStringList words;
    for (const QJsonValue& w : corrector.value(QStringLiteral("words")).toArray())
        words.append(w.toString().toLower());
    return words;
}

QByteArray wordBytes(const QStringList& words, int index) {
    return QByteArray::fromHex(words.value(index).toLatin1());
}

QStringList payloadsOf(const Result& r) {
    QStringList out;
    for (const QJsonValue& v : jsonOf(r).value(QStringLiteral("payloads")).toArray())
        out.append(v.toString().toUpper());
    return out;
}

QStringList exchangeArgs(const char* op, int at, int count, int blocks = 1) {
    return {QStringLiteral("--json"),  QStringLiteral("exchange"), QStringLiteral("--op"),
            QString::fromLatin1(op),   QStringLiteral("--at"),     QString::number(at),
            QStringLiteral("--count"), QString::number(count),     QStringLiteral("--blocks"),
            QString::number(blocks)};
}

// The replies that follow each request in the log, as (request, reply) pairs.
QList<std::pair<QByteArray, QByteArray>> pairsOf(const QList<LoggedFrame>& log) {
    QList<std::pair<QByteArray, QByteArray>> out;
    for (const LoggedFrame& f : log) {
        if (f.request)
            out.append({f.bytes, {}});
        else if (!out.isEmpty())
            out.back().second += f.bytes;
    }
    return out;
}

// ---------------------------------------------------------------- 1. frames and payloads

TEST(ExchangeFrames, ReadGoesOutAsFourBytesAndItsPayloadComesBack) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1"), 5));
    const Result r = bench.cli(exchangeArgs("read", 0, 32));
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const auto end = bench.finish();
    ASSERT_TRUE(end);
    // 02 00 20 sum to 22, check sum DD. Address 5 sits in bits 1..4 of the first byte: 0A 00 20 sum to
    // 2A, check sum D5.
    EXPECT_EQ(readFrame(1, kOpRead, 0, 32), hexBytes("02 00 20 DD"));
    const QByteArray request = readFrame(5, kOpRead, 0, 32);
    EXPECT_EQ(request, hexBytes("0A 00 20 D5"));
    const auto pairs = pairsOf(end->log);
    ASSERT_EQ(pairs.size(), 1);
    EXPECT_EQ(pairs[0].first, request);
    const QByteArray reply = pairs[0].second;
    ASSERT_EQ(reply.size(), 34); // status, 32 bytes, check sum
    EXPECT_EQ(quint8(reply.at(0)), 0);
    EXPECT_EQ(quint8(reply.back()), checksumOf(reply.left(33)));
    EXPECT_EQ(payloadsOf(r), QStringList{upperHex(reply.mid(1, 32))});
    EXPECT_EQ(jsonOf(r).value(QStringLiteral("sent")).toInt(), 1);
}

TEST(ExchangeFrames, PageIsReadUntilTwoReadsAgreeAndHoldsTheParameterWords) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const Result r = bench.cli(exchangeArgs("page", 64, 0));
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const auto end = bench.finish();
    ASSERT_TRUE(end);
    const QByteArray request = readFrame(1, kOpPage, 64, 0);
    EXPECT_EQ(request, hexBytes("42 40 00 7D"));
    const auto pairs = pairsOf(end->log);
    // The corrector's page does not change between reads: the second read agrees with the first.
    ASSERT_EQ(pairs.size(), 2);
    for (const auto& [sent, reply] : pairs) {
        EXPECT_EQ(sent, request);
        ASSERT_EQ(reply.size(), 258);
        EXPECT_EQ(quint8(reply.back()), checksumOf(reply.left(257)));
    }
    const QStringList payloads = payloadsOf(r);
    ASSERT_EQ(payloads.size(), 1);
    EXPECT_EQ(payloads[0], upperHex(pairs[1].second.mid(1, 256)));
    // Page 64 is words 64..127 of the parameter memory, four bytes each in memory order; the words that
    // move on their own (running values) are the ones the double read leaves out.
    const QStringList words = wordsOf(end->corrector);
    ASSERT_GE(words.size(), 128);
    const QByteArray payload = QByteArray::fromHex(payloads[0].toLatin1());
    const QList<int> moving{9, 10, 11, 12, 13, 14, 15, 16, 33, 34, 38, 39};
    for (int k = 1; k <= 64; ++k) {
        if (moving.contains(k)) continue;
        EXPECT_EQ(payload.mid((k - 1) * 4, 4), wordBytes(words, 64 + k - 1)) << "word " << 64 + k - 1;
    }
}

struct PageCase {
    const char* name;
    int page;
    int changedWord;     // 1..64 within the page: the word whose first byte the line changes
    QList<Fault> faults; // of the page's successive replies
    int reads;           // how often the page is read
};

class PageDoubleRead : public ::testing::TestWithParam<PageCase> {};

TEST_P(PageDoubleRead, PageIsReadUntilTwoReadsAgreeOnTheWordsThatCount) {
    const PageCase& c = GetParam();
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const QByteArray request = readFrame(1, kOpPage, quint8(c.page), 0);
    bench.line().setPayloadOffset((c.changedWord - 1) * 4);
    bench.line().plan(request, c.faults);
    const Result r = bench.cli(exchangeArgs("page", c.page, 0));
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QList<FaultyLine::Passage> passages = bench.line().passages();
    EXPECT_EQ(passages.size(), c.reads);
    for (const FaultyLine::Passage& p : passages)
        EXPECT_EQ(p.request, request);
    // What is taken is the last read.
    ASSERT_FALSE(passages.isEmpty());
    EXPECT_EQ(payloadsOf(r), QStringList{upperHex(passages.back().delivered.mid(1, 256))});
}

const QList<Fault> kEveryOtherChanged{Fault::otherPayload, Fault::none, Fault::otherPayload, Fault::none,
                                      Fault::otherPayload, Fault::none, Fault::otherPayload, Fault::none};

INSTANTIATE_TEST_SUITE_P(
    Pages, PageDoubleRead,
    ::testing::Values(
        // A changed first read: the second differs from it, the third agrees with the second.
        PageCase{"FirstReadChanged", 64, 1, {Fault::otherPayload}, 3},
        // Words that move on their own are left out of the comparison: two reads, as for a still page.
        PageCase{"Page0ClockWordChanged", 0, 20, {Fault::otherPayload}, 2},
        PageCase{"Page0Word38Changed", 0, 38, {Fault::otherPayload}, 2},
        PageCase{"Page64Word33Changed", 64, 33, {Fault::otherPayload}, 2},
        PageCase{"Page0Word33Changed", 0, 33, {Fault::otherPayload}, 3},
        // A page that never reads the same twice is taken at its sixth read.
        PageCase{"NeverTheSame", 64, 1, kEveryOtherChanged, 6},
        // Page 128 always compares equal: one read.
        PageCase{"Page128", 128, 1, {Fault::otherPayload}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExchangeFrames, ArchiveBlocksFollowOneAnotherAndTheBlockNumberWraps) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const Result low = bench.cli(exchangeArgs("archive-low", 254, 0, 3));
    ASSERT_EQ(low.code, 0) << low.err.toStdString();
    const Result high = bench.cli(exchangeArgs("archive-high", 0x10, 0, 1));
    ASSERT_EQ(high.code, 0) << high.err.toStdString();
    const auto end = bench.finish();
    ASSERT_TRUE(end);
    const auto pairs = pairsOf(end->log);
    const QList<QByteArray> expected{readFrame(1, kOpArchiveLow, 254, 0), readFrame(1, kOpArchiveLow, 255, 0),
                                     readFrame(1, kOpArchiveLow, 0, 0),
                                     readFrame(1, kOpArchiveHigh, 0x10, 0)};
    EXPECT_EQ(expected[0], hexBytes("22 FE 00 DF"));
    EXPECT_EQ(expected[3], hexBytes("23 10 00 CC"));
    ASSERT_EQ(pairs.size(), expected.size());
    QStringList lowPayloads;
    for (int i = 0; i < pairs.size(); ++i) {
        EXPECT_EQ(pairs[i].first, expected[i]) << i;
        ASSERT_EQ(pairs[i].second.size(), 258) << i;
        if (i < 3) lowPayloads.append(upperHex(pairs[i].second.mid(1, 256)));
    }
    EXPECT_EQ(payloadsOf(low), lowPayloads);
    EXPECT_EQ(payloadsOf(high), QStringList{upperHex(pairs[3].second.mid(1, 256))});
    EXPECT_EQ(jsonOf(low).value(QStringLiteral("sent")).toInt(), 3);
}

// A password entered as the corrector's password item: the serial number the corrector gave, then the
// 4-digit number as a 32-bit value.
QByteArray itemData(quint16 serial, const QByteArray& value) {
    return bytesOf({serial & 0xFF, serial >> 8}) + value;
}

TEST(ExchangeFrames, WriteChangesExactlyTheBytesWritten) {
    const QStringList before = pristineWords(QStringLiteral("series1"));
    ASSERT_GE(before.size(), 2);
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    // The display-time item (0x92) read first: serial number, then its four value bytes.
    const Result item = bench.cli(exchangeArgs("read", 0x92, 6));
    ASSERT_EQ(item.code, 0) << item.err.toStdString();
    const QByteArray itemPayload = QByteArray::fromHex(payloadsOf(item).value(0).toLatin1());
    ASSERT_EQ(itemPayload.size(), 6);
    const quint16 serial = quint16(quint8(itemPayload.at(0)) | quint8(itemPayload.at(1)) << 8);
    const quint8 newValue = quint8(wordBytes(before, 1).at(0)) == 42 ? 43 : 42;

    const QByteArray password = itemData(serial, le32(1111));
    const QByteArray value = itemData(serial, bytesOf({newValue, 0, 0, 0}));
    const Result pw = bench.cli({QStringLiteral("--json"), QStringLiteral("exchange"), QStringLiteral("--op"),
                                 QStringLiteral("write"), QStringLiteral("--at"), QStringLiteral("0xB0"),
                                 QStringLiteral("--data"), upperHex(password)});
    ASSERT_EQ(pw.code, 0) << pw.err.toStdString();
    const Result w = bench.cli({QStringLiteral("--json"), QStringLiteral("exchange"), QStringLiteral("--op"),
                                QStringLiteral("write"), QStringLiteral("--at"), QStringLiteral("0x92"),
                                QStringLiteral("--data"), upperHex(value)});
    ASSERT_EQ(w.code, 0) << w.err.toStdString();
    // A write's reply is a status and a check sum: no payload.
    EXPECT_EQ(payloadsOf(w), QStringList{QString()});

    // 256 data bytes carry 0 in the length byte. The corrector has no such item and refuses it; the
    // frame is what counts here.
    const QByteArray long256(256, char(0x11));
    const Result big = bench.cli({QStringLiteral("exchange"), QStringLiteral("--op"), QStringLiteral("write"),
                                  QStringLiteral("--at"), QStringLiteral("0x70"), QStringLiteral("--data"),
                                  upperHex(long256)});
    EXPECT_NE(big.code, 0);

    const auto end = bench.finish();
    ASSERT_TRUE(end);
    const auto pairs = pairsOf(end->log);
    ASSERT_EQ(pairs.size(), 4);
    EXPECT_EQ(pairs[1].first, writeFrame(1, 0xB0, password));
    EXPECT_EQ(pairs[2].first, writeFrame(1, 0x92, value));
    EXPECT_EQ(pairs[2].second, hexBytes("00 FF"));
    const QByteArray frame256 = writeFrame(1, 0x70, long256);
    EXPECT_EQ(frame256.size(), 260);
    EXPECT_EQ(quint8(frame256.at(2)), 0);
    EXPECT_EQ(pairs[3].first, frame256);

    // Word 1 byte 0 holds the display time; nothing else moved.
    const QStringList after = wordsOf(end->corrector);
    ASSERT_EQ(after.size(), before.size());
    for (int i = 0; i < after.size(); ++i) {
        QByteArray expected = wordBytes(before, i);
        if (i == 1) expected[0] = char(newValue);
        EXPECT_EQ(wordBytes(after, i), expected) << "word " << i;
    }
}

TEST(ExchangeFrames, CountOf256GoesOutAsZeroAndCountOfOneWantsThreeBytes) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const Result one = bench.cli(exchangeArgs("read", 0, 1));
    ASSERT_EQ(one.code, 0) << one.err.toStdString();
    bench.cli(exchangeArgs("read", 0, 256));
    const auto end = bench.finish();
    ASSERT_TRUE(end);
    const auto pairs = pairsOf(end->log);
    ASSERT_GE(pairs.size(), 2);
    EXPECT_EQ(pairs[0].first, hexBytes("02 00 01 FC"));
    EXPECT_EQ(pairs[0].second.size(), 3);
    EXPECT_EQ(payloadsOf(one), QStringList{upperHex(pairs[0].second.mid(1, 1))});
    EXPECT_EQ(pairs[1].first, hexBytes("02 00 00 FD"));
}

// The operator's password, then 5 written at the display time (0x92) and the clock correction (0x93) as
// one write of two blocks, the second block's request going through the line as planned.
struct TwoBlockWrite {
    Result result;
    QStringList before;
    QStringList after;
    QList<QByteArray> requests;
    QByteArray first, second;
    int secondSent = 0; // how often the program sent the second block
};

std::optional<TwoBlockWrite> writeTwoBlocks(Fault secondBlock) {
    TwoBlockWrite out;
    out.before = pristineWords(QStringLiteral("series1"));
    if (out.before.size() < 6) return std::nullopt;
    Bench bench;
    if (!bench.start(QStringLiteral("series1"))) return std::nullopt;
    const Result item = bench.cli(exchangeArgs("read", 0x92, 6));
    const QByteArray itemPayload = QByteArray::fromHex(payloadsOf(item).value(0).toLatin1());
    if (itemPayload.size() != 6) return std::nullopt;
    const quint16 serial = quint16(quint8(itemPayload.at(0)) | quint8(itemPayload.at(1)) << 8);
    if (bench
            .cli({QStringLiteral("exchange"), QStringLiteral("--op"), QStringLiteral("write"),
                  QStringLiteral("--at"), QStringLiteral("0xB0"), QStringLiteral("--data"),
                  upperHex(itemData(serial, le32(1111)))})
            .code != 0)
        return std::nullopt;
    const QByteArray data = itemData(serial, le32(5));
    out.first = writeFrame(1, 0x92, data);
    out.second = writeFrame(1, 0x93, data);
    bench.line().plan(out.second, {}, secondBlock);
    out.result = bench.cli({QStringLiteral("--retries"), QStringLiteral("2"), QStringLiteral("--json"),
                            QStringLiteral("exchange"), QStringLiteral("--op"), QStringLiteral("write"),
                            QStringLiteral("--at"), QStringLiteral("0x92"), QStringLiteral("--data"),
                            upperHex(data), QStringLiteral("--blocks"), QStringLiteral("2")});
    for (const FaultyLine::Passage& p : bench.line().passages())
        out.secondSent += p.request == out.second ? 1 : 0;
    const auto end = bench.finish();
    if (!end) return std::nullopt;
    out.after = wordsOf(end->corrector);
    out.requests = requestsOf(end->log);
    return out;
}

TEST(ExchangeFrames, MultiBlockWriteWritesTheSameDataAtEachAddress) {
    const auto out = writeTwoBlocks(Fault::none);
    ASSERT_TRUE(out);
    ASSERT_EQ(out->result.code, 0) << out->result.err.toStdString();
    ASSERT_GE(out->requests.size(), 2);
    EXPECT_EQ(out->requests.mid(out->requests.size() - 2), (QList<QByteArray>{out->first, out->second}));
    ASSERT_EQ(out->after.size(), out->before.size());
    for (int i = 0; i < out->after.size(); ++i) {
        QByteArray expected = wordBytes(out->before, i);
        if (i == 1) expected[0] = 5; // display time, word 1 byte 0
        if (i == 5) expected[1] = 5; // clock correction, word 5 byte 1
        EXPECT_EQ(wordBytes(out->after, i), expected) << "word " << i;
    }
}

TEST(BadLineWrites, MultiBlockWriteThatBreaksOffKeepsTheBlocksWrittenAndNoMore) {
    const auto out = writeTwoBlocks(Fault::lostRequest);
    ASSERT_TRUE(out);
    EXPECT_NE(out->result.code, 0);
    EXPECT_TRUE(out->result.all().contains(QStringLiteral("НЕТ СВЯЗИ RS-232")))
        << out->result.all().toStdString();
    EXPECT_EQ(countOf(out->requests, out->first), 1);
    EXPECT_EQ(out->secondSent, 2);
    EXPECT_EQ(countOf(out->requests, out->second), 0);
    // The first block is in the corrector, the second is not.
    ASSERT_EQ(out->after.size(), out->before.size());
    for (int i = 0; i < out->after.size(); ++i) {
        QByteArray expected = wordBytes(out->before, i);
        if (i == 1) expected[0] = 5;
        EXPECT_EQ(wordBytes(out->after, i), expected) << "word " << i;
    }
}

// ---------------------------------------------------------------- 2. bad lines

class BadLine : public ::testing::TestWithParam<Fault> {};

TEST_P(BadLine, RepeatThatGetsThroughSucceeds) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const QByteArray request = readFrame(1, kOpRead, 0, 32);
    bench.line().plan(request, {GetParam(), GetParam()});
    Result r = bench.cli(QStringList{QStringLiteral("--retries"), QStringLiteral("3")} +
                         exchangeArgs("read", 0, 32));
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    const auto end = bench.finish();
    ASSERT_TRUE(end);
    // Two spoiled replies, the third good: three sends and the good payload.
    const QList<QByteArray> requests = requestsOf(end->log);
    const int reaching = GetParam() == Fault::lostRequest ? 1 : 3;
    EXPECT_EQ(requests.size(), reaching);
    EXPECT_EQ(countOf(requests, request), reaching);
    EXPECT_EQ(bench.line().passages().size(), 3);
    const auto pairs = pairsOf(end->log);
    ASSERT_FALSE(pairs.isEmpty());
    EXPECT_EQ(payloadsOf(r), QStringList{upperHex(pairs.back().second.mid(1, 32))});
    EXPECT_EQ(jsonOf(r).value(QStringLiteral("sent")).toInt(), 3);
}

// Every reply spoiled the same way: as many sends as the retries allow (1: no repeat at all), then the
// no-link message and a failed exit.
void expectGivingUp(Fault fault) {
    for (int retries : {1, 4}) {
        SCOPED_TRACE(retries);
        Bench bench;
        ASSERT_TRUE(bench.start(QStringLiteral("series1")));
        const QByteArray request = readFrame(1, kOpRead, 0, 32);
        bench.line().plan(request, {}, fault);
        const Result r =
            bench.cli({QStringLiteral("--retries"), QString::number(retries), QStringLiteral("exchange"),
                       QStringLiteral("--op"), QStringLiteral("read"), QStringLiteral("--at"),
                       QStringLiteral("0"), QStringLiteral("--count"), QStringLiteral("32")});
        EXPECT_NE(r.code, 0) << r.all().toStdString();
        EXPECT_TRUE(r.all().contains(QStringLiteral("НЕТ СВЯЗИ RS-232")))
            << "exit " << r.code << ": " << r.all().toStdString();
        const auto end = bench.finish();
        ASSERT_TRUE(end);
        const QList<QByteArray> requests = requestsOf(end->log);
        EXPECT_EQ(requests.size(), fault == Fault::lostRequest ? 0 : retries);
        EXPECT_EQ(countOf(requests, request), requests.size());
        EXPECT_EQ(bench.line().passages().size(), retries);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, BadLine,
                         ::testing::Values(Fault::lostRequest, Fault::lostReply, Fault::badChecksum,
                                           Fault::cutShort, Fault::noiseBefore),
                         [](const auto& info) { return std::string(faultName(info.param)); });

class BadLineGivingUp : public ::testing::TestWithParam<Fault> {};

TEST_P(BadLineGivingUp, AsManySendsAsRetriesThenTheNoLinkMessage) {
    expectGivingUp(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Faults, BadLineGivingUp,
                         ::testing::Values(Fault::lostRequest, Fault::lostReply, Fault::badChecksum,
                                           Fault::cutShort),
                         [](const auto& info) { return std::string(faultName(info.param)); });

// Line noise ahead of every reply is no refusal by the corrector (its first byte is not a status the
// corrector sent): the request is repeated and the run ends with "НЕМАЄ ЗВ'ЯЗКУ RS-232" as for silence.
TEST(BadLineNoise, NoiseOnEveryReplyEndsWithTheNoLinkMessage) {
    expectGivingUp(Fault::noiseBefore);
}

// The help gives the repeats as 1..250 and the reply time-out as 0..10000 ms: 0 and 251 repeats and a
// time-out of 10001 ms are refused as a usage error (exit 2) with nothing sent, as a count out of its range
// is.
TEST(BadLineSettings, RepeatsAndTimeOutOutsideTheirRangeAreUsageErrors) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const QByteArray request = readFrame(1, kOpRead, 0, 32);
    bench.line().plan(request, {}, Fault::lostReply);
    for (const QStringList& option : {QStringList{QStringLiteral("--retries"), QStringLiteral("0")},
                                      QStringList{QStringLiteral("--retries"), QStringLiteral("251")},
                                      QStringList{QStringLiteral("--timeout"), QStringLiteral("10001")}}) {
        SCOPED_TRACE(option.join(QLatin1Char(' ')).toStdString());
        bench.line().forget();
        const Result r = bench.cli(option + exchangeArgs("read", 0, 32));
        EXPECT_EQ(r.code, 2) << r.all().toStdString();
        EXPECT_EQ(bench.line().passages().size(), 0);
        // Once one has gone out, the others would only add their repeats' time-outs.
        if (!bench.line().passages().isEmpty()) break;
    }
}

TEST(BadLineSettings, WithoutRetriesGivenTheSettingsSixApply) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const QByteArray request = readFrame(1, kOpRead, 0, 32);
    bench.line().plan(request, {}, Fault::lostReply);
    const Result r = bench.cli({QStringLiteral("exchange"), QStringLiteral("--op"), QStringLiteral("read"),
                                QStringLiteral("--at"), QStringLiteral("0"), QStringLiteral("--count"),
                                QStringLiteral("32")});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.all().contains(QStringLiteral("НЕТ СВЯЗИ RS-232"))) << r.all().toStdString();
    const auto end = bench.finish();
    ASSERT_TRUE(end);
    EXPECT_EQ(requestsOf(end->log), QList<QByteArray>(6, request));
}

TEST(BadLineBlocks, EveryBlockStartsWithTheFullRetryBudget) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    // Two sends allowed per request; each of the three blocks loses its first reply.
    for (int block : {10, 11, 12})
        bench.line().plan(readFrame(1, kOpArchiveLow, quint8(block), 0), {Fault::lostReply});
    const Result r = bench.cli(QStringList{QStringLiteral("--retries"), QStringLiteral("2")} +
                               exchangeArgs("archive-low", 10, 0, 3));
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(payloadsOf(r).size(), 3);
    const auto end = bench.finish();
    ASSERT_TRUE(end);
    const QList<QByteArray> expected{readFrame(1, kOpArchiveLow, 10, 0), readFrame(1, kOpArchiveLow, 10, 0),
                                     readFrame(1, kOpArchiveLow, 11, 0), readFrame(1, kOpArchiveLow, 11, 0),
                                     readFrame(1, kOpArchiveLow, 12, 0), readFrame(1, kOpArchiveLow, 12, 0)};
    EXPECT_EQ(requestsOf(end->log), expected);
}

// The operator's password, then the display-time write through the planned line; what the corrector holds.
struct WriteOutcome {
    Result result;
    QStringList before;
    QStringList after;
    QList<QByteArray> requests;
    QByteArray valueFrame;
    quint8 newValue = 0;
};

std::optional<WriteOutcome> writeDisplayTimeThrough(Fault fault, int retries) {
    WriteOutcome out;
    out.before = pristineWords(QStringLiteral("series1"));
    if (out.before.size() < 2) return std::nullopt;
    Bench bench;
    if (!bench.start(QStringLiteral("series1"))) return std::nullopt;
    const Result item = bench.cli(exchangeArgs("read", 0x92, 6));
    const QByteArray itemPayload = QByteArray::fromHex(payloadsOf(item).value(0).toLatin1());
    if (itemPayload.size() != 6) return std::nullopt;
    const quint16 serial = quint16(quint8(itemPayload.at(0)) | quint8(itemPayload.at(1)) << 8);
    out.newValue = quint8(wordBytes(out.before, 1).at(0)) == 42 ? 43 : 42;
    const QByteArray value = itemData(serial, bytesOf({out.newValue, 0, 0, 0}));
    out.valueFrame = writeFrame(1, 0x92, value);
    if (bench
            .cli({QStringLiteral("exchange"), QStringLiteral("--op"), QStringLiteral("write"),
                  QStringLiteral("--at"), QStringLiteral("0xB0"), QStringLiteral("--data"),
                  upperHex(itemData(serial, le32(1111)))})
            .code != 0)
        return std::nullopt;
    bench.line().plan(out.valueFrame, {}, fault);
    out.result = bench.cli({QStringLiteral("--retries"), QString::number(retries), QStringLiteral("exchange"),
                            QStringLiteral("--op"), QStringLiteral("write"), QStringLiteral("--at"),
                            QStringLiteral("0x92"), QStringLiteral("--data"), upperHex(value)});
    const auto end = bench.finish();
    if (!end) return std::nullopt;
    out.after = wordsOf(end->corrector);
    out.requests = requestsOf(end->log);
    return out;
}

TEST(BadLineWrites, WriteThatNeverArrivedLeavesTheCorrectorAsItWas) {
    const auto out = writeDisplayTimeThrough(Fault::lostRequest, 3);
    ASSERT_TRUE(out);
    EXPECT_NE(out->result.code, 0);
    EXPECT_EQ(countOf(out->requests, out->valueFrame), 0);
    EXPECT_EQ(out->after, out->before);
}

TEST(BadLineWrites, WriteWhoseReplyIsLostIsRepeatedWithTheSameBytes) {
    const auto out = writeDisplayTimeThrough(Fault::lostReply, 3);
    ASSERT_TRUE(out);
    EXPECT_NE(out->result.code, 0);
    EXPECT_TRUE(out->result.all().contains(QStringLiteral("НЕТ СВЯЗИ RS-232")))
        << out->result.all().toStdString();
    // The same frame three times: the corrector holds exactly the value, written over itself.
    EXPECT_EQ(countOf(out->requests, out->valueFrame), 3);
    ASSERT_EQ(out->after.size(), out->before.size());
    for (int i = 0; i < out->after.size(); ++i) {
        QByteArray expected = wordBytes(out->before, i);
        if (i == 1) expected[0] = char(out->newValue);
        EXPECT_EQ(wordBytes(out->after, i), expected) << "word " << i;
    }
}

// ---------------------------------------------------------------- 3. the link trace

// One line of the trace: which pane, and its text with the time of day taken out.
struct TraceLine {
    bool sent = false;
    QByteArray text;
};

// The trace as lines (Windows-1251, each ended by CR LF); "->" the send pane, "<-" the receive pane.
// Times are checked for their form and replaced by "TIME".
std::optional<QList<TraceLine>> readTrace(const QString& path, QString* problem) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("no trace file");
        return std::nullopt;
    }
    const QByteArray all = f.readAll();
    if (!all.endsWith("\r\n")) {
        *problem = QStringLiteral("the last line does not end in CR LF");
        return std::nullopt;
    }
    static const QRegularExpression timeLine(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d$"));
    static const QRegularExpression failureHead(
        QStringLiteral("^\\*НАЧАЛО\\* (\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d) "));
    QList<TraceLine> lines;
    QTime previous;
    QList<QByteArray> raw = all.split('\n');
    raw.removeLast(); // after the last CR LF
    for (QByteArray line : raw) {
        if (!line.endsWith('\r') || line.indexOf('\r') != line.size() - 1) {
            *problem = QStringLiteral("a line not ended by CR LF: ") + acceptance::fromCp1251(line);
            return std::nullopt;
        }
        line.chop(1);
        TraceLine t;
        if (line.startsWith("-> "))
            t.sent = true;
        else if (!line.startsWith("<- ")) {
            *problem = QStringLiteral("a line without its direction: ") + acceptance::fromCp1251(line);
            return std::nullopt;
        }
        t.text = line.mid(3);
        const QString text = acceptance::fromCp1251(t.text);
        QString time;
        if (timeLine.match(text).hasMatch()) {
            time = text;
            t.text = "TIME";
        } else if (const QRegularExpressionMatch m = failureHead.match(text); m.hasMatch()) {
            time = m.captured(1);
            t.text.replace(t.text.indexOf(m.captured(1).toLatin1()), 12, "TIME");
        }
        if (!time.isEmpty()) {
            // Entries are written as they happen: times never go back (but over midnight).
            const QTime at = QTime::fromString(time, QStringLiteral("HH:mm:ss.zzz"));
            if (!at.isValid() || (previous.isValid() && at < previous && previous.msecsTo(at) > -43200000)) {
                *problem = QStringLiteral("a time out of order: ") + time;
                return std::nullopt;
            }
            previous = at;
        }
        lines.append(t);
    }
    return lines;
}

// Windows-1251 for the Russian letters of the trace's fixed texts.
QByteArray cp1251(const QString& text) {
    QByteArray out;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80)
            out.append(char(u));
        else if (u >= 0x0410 && u <= 0x044F)
            out.append(char(0xC0 + (u - 0x0410)));
        else if (u == 0x0456)
            out.append(char(0xB3)); // і
        else if (u == 0x0457)
            out.append(char(0xBF)); // ї
        else if (u == 0x0454)
            out.append(char(0xBA)); // є
        else
            out.append('?');
    }
    return out;
}

QByteArray hexForm(const QByteArray& bytes) {
    QByteArray out;
    for (char c : bytes)
        out += QByteArray::number(quint8(c), 16).rightJustified(2, '0').toUpper() + ' ';
    return out;
}

constexpr int kBytesPerLine = 32;

// An entry as the debugger writes it with its default options and the time shown: the time, the count
// header, then the bytes 32 to a line; the receive pane adds each line's printable characters after "||",
// a short last line padded with blanks to the full width first.
QList<QByteArray> entryLines(const QByteArray& bytes, bool receivePane) {
    QList<QByteArray> lines{"TIME",
                            cp1251(QStringLiteral("кол.б-т=")) + QByteArray::number(bytes.size()) + " :: "};
    for (qsizetype start = 0; start < bytes.size(); start += kBytesPerLine) {
        const QByteArray chunk = bytes.mid(start, kBytesPerLine);
        QByteArray line = hexForm(chunk);
        if (receivePane) {
            QByteArray printable;
            for (char c : chunk)
                if (quint8(c) >= 32) printable.append(c);
            line = line.leftJustified(kBytesPerLine * 3, ' ') + "||" + printable;
        }
        lines.append(line);
    }
    return lines;
}

// A failed exchange: its class (held in 25 characters), the request and what was received.
QList<QByteArray> failureLines(const QString& classText, const QByteArray& request,
                               const QByteArray& received) {
    return {"*" + cp1251(QStringLiteral("НАЧАЛО")) + "* TIME " + cp1251(classText.left(25)),
            "\"" + cp1251(QStringLiteral("ЗП")) + "\" " + cp1251(QStringLiteral("кол.б-т = ")) +
                QByteArray::number(request.size()) + " :: " + hexForm(request),
            "\"" + cp1251(QStringLiteral("ЧТ")) + "\" " + cp1251(QStringLiteral("кол.б-т = ")) +
                QByteArray::number(received.size()) + " :: " + hexForm(received),
            "*" + cp1251(QStringLiteral("КОНЕЦ")) + "*"};
}

QList<QByteArray> paneOf(const QList<TraceLine>& trace, bool sent) {
    QList<QByteArray> out;
    for (const TraceLine& t : trace)
        if (t.sent == sent) out.append(t.text);
    return out;
}

QString joined(const QList<QByteArray>& lines) {
    QString out;
    for (const QByteArray& l : lines)
        out += acceptance::fromCp1251(l) + QLatin1Char('\n');
    return out;
}

TEST(LinkTrace, ShowsEveryFrameEveryReplyAndEveryFailedExchange) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const QByteArray request = readFrame(1, kOpRead, 0, 32);
    bench.line().plan(request, {Fault::badChecksum, Fault::cutShort, Fault::lostReply});
    const QString tracePath = bench.scratch(QStringLiteral("trace.txt"));
    const Result r = bench.cli(
        QStringList{QStringLiteral("--retries"), QStringLiteral("4"), QStringLiteral("--trace"), tracePath} +
        exchangeArgs("read", 0, 32));
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QList<FaultyLine::Passage> passages = bench.line().passages();
    ASSERT_EQ(passages.size(), 4);
    QString problem;
    const auto trace = readTrace(tracePath, &problem);
    ASSERT_TRUE(trace) << problem.toStdString();

    // The send pane: the four sends of the same request, nothing else.
    QList<QByteArray> sent;
    for (int i = 0; i < 4; ++i)
        sent += entryLines(request, false);
    EXPECT_EQ(joined(paneOf(*trace, true)), joined(sent));

    // The receive pane: the spoiled check sum as the reply check found it, the short reply and the
    // silence as the time-outs found them, then the good reply.
    QList<QByteArray> received;
    received += failureLines(QStringLiteral("ошибка контрольной суммы!!!"), request, passages[0].delivered);
    received += failureLines(QStringLiteral("кол-во принятых не равно"), request, passages[1].delivered);
    received += failureLines(QStringLiteral("ошибка - нет приема"), request, QByteArray());
    received += entryLines(passages[3].delivered, true);
    EXPECT_EQ(joined(paneOf(*trace, false)), joined(received));
}

TEST(LinkTrace, LongReplyFillsNineLinesTheLastPadded) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const QString tracePath = bench.scratch(QStringLiteral("trace.txt"));
    const Result r =
        bench.cli(QStringList{QStringLiteral("--trace"), tracePath} + exchangeArgs("archive-low", 0, 0));
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QList<FaultyLine::Passage> passages = bench.line().passages();
    ASSERT_EQ(passages.size(), 1);
    QString problem;
    const auto trace = readTrace(tracePath, &problem);
    ASSERT_TRUE(trace) << problem.toStdString();
    const QList<QByteArray> pane = paneOf(*trace, false);
    // The time, "кол.б-т=258 :: ", eight full lines and a ninth of two bytes padded to 96 characters.
    ASSERT_EQ(pane.size(), 11);
    EXPECT_EQ(pane[1], cp1251(QStringLiteral("кол.б-т=258 :: ")));
    EXPECT_EQ(pane[10].indexOf("||"), 96);
    EXPECT_EQ(joined(pane), joined(entryLines(passages[0].delivered, true)));
}

TEST(LinkTrace, LongFrameGoesOutThirtyTwoBytesALineWithoutCharacters) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const QString tracePath = bench.scratch(QStringLiteral("trace.txt"));
    // 256 data bytes at an address the corrector refuses: the frame is what counts.
    const QByteArray data(256, char(0x41));
    bench.cli({QStringLiteral("--trace"), tracePath, QStringLiteral("exchange"), QStringLiteral("--op"),
               QStringLiteral("write"), QStringLiteral("--at"), QStringLiteral("0x70"),
               QStringLiteral("--data"), upperHex(data)});
    QString problem;
    const auto trace = readTrace(tracePath, &problem);
    ASSERT_TRUE(trace) << problem.toStdString();
    const QList<QByteArray> pane = paneOf(*trace, true);
    // The time, "кол.б-т=260 :: ", eight lines of 32 bytes and one of the last four, none padded.
    ASSERT_EQ(pane.size(), 11);
    EXPECT_EQ(pane.last(), hexForm(writeFrame(1, 0x70, data).right(4)));
    EXPECT_EQ(joined(pane), joined(entryLines(writeFrame(1, 0x70, data), false)));
}

TEST(LinkTrace, UkrainianTextsWhenTheLanguageIsUkrainian) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const QByteArray request = readFrame(1, kOpRead, 0, 32);
    bench.line().plan(request, {Fault::lostReply});
    const QString tracePath = bench.scratch(QStringLiteral("trace.txt"));
    const Result r =
        bench.cli(QStringList{QStringLiteral("--lang"), QStringLiteral("ua"), QStringLiteral("--retries"),
                              QStringLiteral("2"), QStringLiteral("--trace"), tracePath} +
                  exchangeArgs("read", 0, 32));
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QList<FaultyLine::Passage> passages = bench.line().passages();
    ASSERT_EQ(passages.size(), 2);
    QString problem;
    const auto trace = readTrace(tracePath, &problem);
    ASSERT_TRUE(trace) << problem.toStdString();
    // The Ukrainian count prefix has its blank before "="; the failure block's own lines stay as they are.
    auto ukrainian = [](QList<QByteArray> lines) {
        lines[1].replace(cp1251(QStringLiteral("кол.б-т=")), cp1251(QStringLiteral("кіл.б-т =")));
        return lines;
    };
    EXPECT_EQ(joined(paneOf(*trace, true)),
              joined(ukrainian(entryLines(request, false)) + ukrainian(entryLines(request, false))));
    EXPECT_EQ(joined(paneOf(*trace, false)),
              joined(failureLines(QStringLiteral("помилка - немає прийому"), request, QByteArray()) +
                     ukrainian(entryLines(passages[1].delivered, true))));
}

// ---------------------------------------------------------------- replies in pieces, the corrector's
// refusals

TEST(ReplyPieces, ReplyInTwoPiecesIsTakenWhenItIsComplete) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const QByteArray request = readFrame(1, kOpArchiveLow, 3, 0);
    bench.line().plan(request, {Fault::inTwoParts});
    const Result r = bench.cli(QStringList{QStringLiteral("--retries"), QStringLiteral("1")} +
                               exchangeArgs("archive-low", 3, 0));
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QList<FaultyLine::Passage> passages = bench.line().passages();
    ASSERT_EQ(passages.size(), 1);
    EXPECT_EQ(payloadsOf(r), QStringList{upperHex(passages[0].delivered.mid(1, 256))});
}

struct RefusalReply {
    Fault fault;
    const char* message;
};

TEST(CorrectorRefusals, StatusByteGivesItsMessageTheFirstMatchWinning) {
    // 0x28 carries both the command bit and the value bit: the corrector-number message, tested before
    // either of them.
    const QList<RefusalReply> cases{{Fault::status40, "ЗАПИСЬ НЕВОЗМОЖНА, НЕТ ДОПУСКА"},
                                    {Fault::status28, "Номер корректора не совпал!!!"},
                                    {Fault::status20, "Ошибочная команда!!!"},
                                    {Fault::status08, "Ошибочное значение!!!"}};
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const QByteArray request = readFrame(1, kOpRead, 0x92, 6);
    for (const RefusalReply& c : cases) {
        SCOPED_TRACE(faultName(c.fault));
        bench.line().clearPlans();
        bench.line().plan(request, {}, c.fault);
        const Result r = bench.cli(QStringList{QStringLiteral("--retries"), QStringLiteral("2")} +
                                   exchangeArgs("read", 0x92, 6));
        EXPECT_NE(r.code, 0);
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
        // However the refusal is handled, the request never goes out more often than the retries allow.
        EXPECT_LE(bench.line().passages().size(), 2);
        bench.line().forget();
        for (const RefusalReply& other : cases)
            if (other.fault != c.fault && QString::fromUtf8(other.message) != QString::fromUtf8(c.message)) {
                EXPECT_FALSE(r.err.contains(QString::fromUtf8(other.message))) << r.err.toStdString();
            }
    }
}

// ---------------------------------------------------------------- 4. operation start and read queue

const QByteArray kIdentification = readFrame(1, kOpRead, 0, 32);

TEST(OperationStart, IdentificationIsReadTwiceAndAgrees) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const Result r = bench.cli({QStringLiteral("--json"), QStringLiteral("identify")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const auto end = bench.finish();
    ASSERT_TRUE(end);
    const auto pairs = pairsOf(end->log);
    ASSERT_EQ(pairs.size(), 2);
    EXPECT_EQ(pairs[0].first, kIdentification);
    EXPECT_EQ(pairs[1].first, kIdentification);
    EXPECT_EQ(jsonOf(r).value(QStringLiteral("identification")).toString().toLatin1(),
              pairs[1].second.mid(1, 32));
}

TEST(OperationStart, IdentificationThatChangesIsReadAgainUntilTwoReadsAgree) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    bench.line().plan(kIdentification, {Fault::otherPayload});
    const Result r = bench.cli({QStringLiteral("identify")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    const auto end = bench.finish();
    ASSERT_TRUE(end);
    // First and second differ: the identification starts over and reads twice more.
    EXPECT_EQ(requestsOf(end->log), QList<QByteArray>(4, kIdentification));
}

// Identification whose replies alternate between two texts for a number of pairs, then settle.
void expectIdentifiedAfterChangingPairs(int pairs) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    QList<Fault> faults;
    for (int i = 0; i < pairs; ++i)
        faults << Fault::otherPayload << Fault::none;
    bench.line().plan(kIdentification, faults);
    const Result r =
        bench.cli({QStringLiteral("--retries"), QStringLiteral("2"), QStringLiteral("identify")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    const auto end = bench.finish();
    ASSERT_TRUE(end);
    // No two reads of a pair agree; the pair after them does. The repeats of a silent line do not count.
    EXPECT_EQ(requestsOf(end->log), QList<QByteArray>(2 * pairs + 2, kIdentification));
}

TEST(OperationStart, IdentificationThatKeepsChangingIsReadAgainAndAgain) {
    expectIdentifiedAfterChangingPairs(5);
}

// The command line has no F10 to stop reads that never agree: after ten pairs it gives up with words of
// its own, not the no-link message, since the corrector answered every read.
TEST(OperationStart, IdentificationThatNeverAgreesEndsWithItsOwnMessage) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    QList<Fault> faults;
    for (int i = 0; i < 30; ++i)
        faults << Fault::otherPayload << Fault::none;
    bench.line().plan(kIdentification, faults);
    const Result r = bench.cli({QStringLiteral("identify")});
    EXPECT_NE(r.code, 0);
    EXPECT_FALSE(r.all().contains(QStringLiteral("НЕТ СВЯЗИ RS-232"))) << r.all().toStdString();
    EXPECT_TRUE(
        r.all().contains(QStringLiteral("Идентификация корректора не совпадает при повторных чтениях")))
        << r.all().toStdString();
    const auto end = bench.finish();
    ASSERT_TRUE(end);
    EXPECT_EQ(requestsOf(end->log), QList<QByteArray>(20, kIdentification));
}

// The refusal a version gets when its family letter is not one this program serves: by characters 2 to 4
// of the version code (the identification's characters 12 to 15), as bytes.
QString refusalFor(const QByteArray& identification) {
    const QByteArray code = identification.mid(11, 4);
    const QByteArray rest = code.mid(1, 3);
    if (rest < QByteArray("41A"))
        return QStringLiteral("Данная версия ПО корректора работает с программой \"Quon\" !!!");
    if (rest < QByteArray("41y"))
        return QStringLiteral("Данная версия ПО корректора работает с программой \"QuonR\"");
    return QStringLiteral("Ошибка! Версия не определена!!!");
}

TEST(OperationStart, VersionOfAnotherGenerationIsRefusedAndNothingIsRead) {
    for (const char* presetName : {"old", "old-r"}) {
        const QString preset = QString::fromLatin1(presetName);
        SCOPED_TRACE(preset.toStdString());
        Bench bench;
        ASSERT_TRUE(bench.start(preset));
        const Result raw = bench.cli(exchangeArgs("read", 0, 32));
        ASSERT_EQ(raw.code, 0) << raw.err.toStdString();
        const QByteArray identification = QByteArray::fromHex(payloadsOf(raw).value(0).toLatin1());
        ASSERT_EQ(identification.size(), 32);
        const QString families = QStringLiteral("VFfrTWR");
        ASSERT_FALSE(families.contains(QLatin1Char(identification.at(11))));
        bench.line().forget();

        const Result r =
            bench.cli({QStringLiteral("read"), QStringLiteral("--archives"), QStringLiteral("hourly")});
        EXPECT_NE(r.code, 0);
        EXPECT_TRUE(r.err.contains(refusalFor(identification))) << r.err.toStdString();
        // The identification and nothing after it.
        QList<QByteArray> sent;
        for (const FaultyLine::Passage& p : bench.line().passages())
            sent.append(p.request);
        EXPECT_EQ(sent, QList<QByteArray>(2, kIdentification));
    }
}

TEST(OperationStart, SilentCorrectorIsAskedAsOftenAsTheRetriesAllowAndNothingElseIsRun) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    bench.line().plan(kIdentification, {}, Fault::lostReply);
    const Result r = bench.cli({QStringLiteral("--retries"), QStringLiteral("3"), QStringLiteral("read"),
                                QStringLiteral("--archives"), QStringLiteral("hourly")});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.all().contains(QStringLiteral("НЕТ СВЯЗИ RS-232"))) << r.all().toStdString();
    const auto end = bench.finish();
    ASSERT_TRUE(end);
    EXPECT_EQ(requestsOf(end->log), QList<QByteArray>(3, kIdentification));
}

TEST(OperationStart, PortThatDoesNotExistIsRefusedBeforeAnythingIsSent) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    bench.writeFile(QStringLiteral("Work/PortMap.000"),
                    "COM7 " + bench.scratch(QStringLiteral("no-such-line")).toLocal8Bit() + "\r\n");
    for (const QStringList& command :
         {QStringList{QStringLiteral("identify")}, QStringList{QStringLiteral("params")},
          QStringList{QStringLiteral("read"), QStringLiteral("--archives"), QStringLiteral("hourly")}}) {
        SCOPED_TRACE(command.join(QLatin1Char(' ')).toStdString());
        const Result r =
            tarn::test::runCliIn(bench.scratch(QStringLiteral("home")),
                                 QStringList{QStringLiteral("--port"), QStringLiteral("COM7")} + command)
                .text();
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("Ошибка открытия порта"))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("COM7"))) << r.err.toStdString();
    }
    const auto end = bench.finish();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->log.isEmpty());
}

// The requests of one read run split into what came before the first archive block and the archive
// blocks themselves.
struct ReadRun {
    int code = -1;
    QString err;
    QList<QByteArray> lead;     // identification and parameter pages
    QList<QByteArray> archives; // the archive blocks, in the order asked
};

bool isArchiveRequest(const QByteArray& r) {
    const quint8 op = quint8(r.at(0)) & 0xE1;
    return op == kOpArchiveLow || op == kOpArchiveHigh;
}

ReadRun readThrough(Bench& bench, const QStringList& args, const QStringList& global = {}) {
    bench.line().forget();
    const Result r = bench.cli(global + QStringList{QStringLiteral("read")} + args);
    ReadRun run{r.code, r.err, {}, {}};
    for (const FaultyLine::Passage& p : bench.line().passages()) {
        if (isArchiveRequest(p.request))
            run.archives.append(p.request);
        else if (run.archives.isEmpty())
            run.lead.append(p.request);
        else
            run.archives.append(p.request); // anything else after the first block is out of place
    }
    return run;
}

TEST(ReadQueue, ParametersFirstThenTheArchivesInTheirOwnOrder) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const ReadRun hourly = readThrough(bench, {QStringLiteral("--archives"), QStringLiteral("hourly")});
    ASSERT_EQ(hourly.code, 0) << hourly.err.toStdString();
    const ReadRun monthly = readThrough(bench, {QStringLiteral("--archives"), QStringLiteral("monthly")});
    ASSERT_EQ(monthly.code, 0) << monthly.err.toStdString();
    const ReadRun interference =
        readThrough(bench, {QStringLiteral("--archives"), QStringLiteral("interference")});
    ASSERT_EQ(interference.code, 0) << interference.err.toStdString();
    ASSERT_FALSE(hourly.archives.isEmpty());
    ASSERT_FALSE(monthly.archives.isEmpty());
    ASSERT_FALSE(interference.archives.isEmpty());

    // Every read starts with the identification read twice, then the parameter pages from page 0.
    for (const ReadRun* run : {&hourly, &monthly, &interference}) {
        ASSERT_GE(run->lead.size(), 3);
        EXPECT_EQ(run->lead[0], kIdentification);
        EXPECT_EQ(run->lead[1], kIdentification);
        EXPECT_EQ(run->lead[2], readFrame(1, kOpPage, 0, 0));
        for (qsizetype i = 2; i < run->lead.size(); ++i)
            EXPECT_EQ(quint8(run->lead[i].at(0)), 0x42) << "lead request " << i;
    }

    // Asked in any order, the kinds are read hourly (3), monthly (5), interference (7).
    const ReadRun mixed =
        readThrough(bench, {QStringLiteral("--archives"), QStringLiteral("interference,monthly,hourly")});
    ASSERT_EQ(mixed.code, 0) << mixed.err.toStdString();
    EXPECT_EQ(mixed.lead, hourly.lead);
    EXPECT_EQ(mixed.archives, hourly.archives + monthly.archives + interference.archives);
    EXPECT_TRUE(bench.finish());
}

TEST(ReadQueue, UntilEmptyEndsEachArchiveEarlyAndGoesOnToTheNext) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const QStringList both{QStringLiteral("--archives"), QStringLiteral("daily,hourly")};
    const ReadRun full = readThrough(bench, both);
    ASSERT_EQ(full.code, 0) << full.err.toStdString();
    const ReadRun hourly = readThrough(
        bench, {QStringLiteral("--archives"), QStringLiteral("hourly"), QStringLiteral("--until-empty")});
    const ReadRun daily = readThrough(
        bench, {QStringLiteral("--archives"), QStringLiteral("daily"), QStringLiteral("--until-empty")});
    const ReadRun early = readThrough(bench, both + QStringList{QStringLiteral("--until-empty")});
    ASSERT_EQ(early.code, 0) << early.err.toStdString();
    ASSERT_FALSE(hourly.archives.isEmpty());
    ASSERT_FALSE(daily.archives.isEmpty());
    // Each archive ends early where its empty end is met, and the queue goes on with the next kind.
    EXPECT_EQ(early.archives, hourly.archives + daily.archives);
    EXPECT_LT(early.archives.size(), full.archives.size());
    // What is read up to the empty end is the start of what the full read reads.
    const QList<QByteArray> fullHourly = full.archives.mid(0, hourly.archives.size());
    EXPECT_EQ(fullHourly, hourly.archives);
    EXPECT_TRUE(bench.finish());
}

TEST(ReadQueue, SilenceInTheMiddleEndsTheWholeQueue) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const ReadRun hourly = readThrough(
        bench, {QStringLiteral("--archives"), QStringLiteral("hourly"), QStringLiteral("--until-empty")});
    ASSERT_EQ(hourly.code, 0) << hourly.err.toStdString();
    ASSERT_FALSE(hourly.archives.isEmpty());
    // The hourly archive's first block never answered: two sends, then the queue stops; the daily
    // archive behind it is not started.
    bench.line().plan(hourly.archives.first(), {}, Fault::lostReply);
    const ReadRun both = readThrough(
        bench,
        {QStringLiteral("--archives"), QStringLiteral("hourly,daily"), QStringLiteral("--until-empty")},
        {QStringLiteral("--retries"), QStringLiteral("2")});
    EXPECT_NE(both.code, 0);
    EXPECT_TRUE(both.err.contains(QStringLiteral("НЕТ СВЯЗИ RS-232"))) << both.err.toStdString();
    EXPECT_EQ(both.archives, QList<QByteArray>(2, hourly.archives.first()));
    EXPECT_TRUE(bench.finish());
}

TEST(ReadQueue, AllArchivesUntilEmptyComeInTheirKindsOrder) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    // Kinds 3, 4, 5, 6, 7, 9 and 10.
    const QStringList kinds{QStringLiteral("hourly"),       QStringLiteral("daily"),
                            QStringLiteral("monthly"),      QStringLiteral("abnormal"),
                            QStringLiteral("interference"), QStringLiteral("operative"),
                            QStringLiteral("service")};
    QList<QByteArray> oneByOne;
    for (const QString& kind : kinds) {
        SCOPED_TRACE(kind.toStdString());
        const ReadRun run =
            readThrough(bench, {QStringLiteral("--archives"), kind, QStringLiteral("--until-empty")});
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        EXPECT_FALSE(run.archives.isEmpty());
        oneByOne += run.archives;
    }
    const ReadRun all = readThrough(
        bench, {QStringLiteral("--archives"), QStringLiteral("all"), QStringLiteral("--until-empty")});
    ASSERT_EQ(all.code, 0) << all.err.toStdString();
    EXPECT_EQ(all.archives, oneByOne);
    // The parameters once, before every archive.
    EXPECT_EQ(countOf(all.lead, readFrame(1, kOpPage, 0, 0)), 2);
    EXPECT_TRUE(bench.finish());
}

// ---------------------------------------------------------------- 5. programmable items

struct ItemCase {
    const char* name;
    const char* preset;
    int item;
    quint8 code;       // the item's address byte
    const char* value; // as typed
    const char* unit;  // --unit, or none
    const char* password;
    int word;              // where the corrector keeps it
    int byte;              // -1: the whole word as a float
    QByteArray valueBytes; // the four value bytes the write carries
    quint8 byteMask;       // for a flag: the bit it owns in its byte; 0 otherwise
};

class ItemWrites : public ::testing::TestWithParam<ItemCase> {};

TEST_P(ItemWrites, TheCorrectorHoldsTheBytesWorkedOutHere) {
    const ItemCase& c = GetParam();
    const QStringList before = pristineWords(QString::fromLatin1(c.preset));
    ASSERT_GT(before.size(), c.word);
    Bench bench;
    ASSERT_TRUE(bench.start(QString::fromLatin1(c.preset)));
    QStringList args{QStringLiteral("item"),       QStringLiteral("set"),          QStringLiteral("--item"),
                     QString::number(c.item),      QStringLiteral("--value"),      QString::fromUtf8(c.value),
                     QStringLiteral("--password"), QString::fromLatin1(c.password)};
    if (c.unit) args << QStringLiteral("--unit") << QString::fromLatin1(c.unit);
    const Result r = bench.cli(args);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const auto end = bench.finish();
    ASSERT_TRUE(end);

    // The item's write: its code, then data that ends in the four value bytes, the check sum right.
    QList<QByteArray> writes;
    for (const QByteArray& q : requestsOf(end->log))
        if (isWrite(q) && quint8(q.at(1)) == c.code) writes.append(q);
    ASSERT_EQ(writes.size(), 1);
    const QByteArray w = writes[0];
    EXPECT_EQ(quint8(w.at(0)), 0x82);
    EXPECT_EQ(quint8(w.back()), checksumOf(w.left(w.size() - 1)));
    const QByteArray data = w.mid(3, quint8(w.at(2)));
    if (c.byte < 0) {
        // A float the program computes may differ from ours in its last bits (10.19716 for 1/0.0980665).
        const float sent = floatFrom(data.right(4));
        EXPECT_NEAR(sent, floatFrom(c.valueBytes), std::abs(floatFrom(c.valueBytes)) * 2e-6)
            << upperHex(data.right(4)).toStdString();
    } else {
        EXPECT_EQ(upperHex(data.right(4)), upperHex(c.valueBytes));
    }

    const QStringList after = wordsOf(end->corrector);
    ASSERT_EQ(after.size(), before.size());
    for (int i = 0; i < after.size(); ++i) {
        QByteArray expected = wordBytes(before, i);
        if (i == c.word) {
            if (c.byte < 0) {
                // A float as the program computes it may differ from ours in its last bit.
                const float got = floatFrom(wordBytes(after, i));
                const float want = floatFrom(c.valueBytes);
                EXPECT_NEAR(got, want, std::abs(want) * 2e-6) << "word " << i;
                continue;
            }
            if (c.byteMask)
                expected[c.byte] =
                    char((quint8(expected.at(c.byte)) & ~c.byteMask) | (c.valueBytes.at(0) ? c.byteMask : 0));
            else
                expected[c.byte] = c.valueBytes.at(0);
        }
        EXPECT_EQ(wordBytes(after, i), expected) << "word " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ItemWrites,
    ::testing::Values(
        // A number with decimals: the pressure recording interval as a float.
        ItemCase{"RecordingInterval", "series1", 24, 0x96, "2.75", nullptr, "4:4444", 64, -1,
                 floatBytes(2.75f), 0},
        // A value list: the sensors switched off, the list's fourth entry.
        ItemCase{"SensorsOff", "series1", 29, 0xAF, "Выкл. T+P", nullptr, "4:4444", 4, 3, le32(3), 0},
        // A unit: the pressure unit flag, MPa is "on".
        ItemCase{"PressureUnit", "series1", 38, 0xA2, "МПа", nullptr, "6:6666", 2, 0, le32(1), 0x02},
        // A pressure typed in another unit is kept in kgf/cm²: 2500 cm of water column is 2.5.
        ItemCase{"GaugePressureCmH2O", "series2", 6, 0x85, "2500", "cmH2O", "4:4444", 66, -1,
                 floatBytes(2.5f), 0},
        // 0.5 MPa with 1 kgf/cm² = 0.0980665 MPa.
        ItemCase{"GaugePressureMPa", "series2", 6, 0x85, "0.5", "MPa", "4:4444", 66, -1,
                 floatBytes(float(0.5 / 0.0980665)), 0},
        // 760 mm of mercury, 0.0013595 kgf/cm² each: the barometric pressure in kgf/cm².
        ItemCase{"BarometricMmHg", "series2", 43, 0xA5, "760", "mmHg", "4:4444", 67, -1,
                 floatBytes(float(760 * 0.0013595)), 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ItemPasswords, PasswordWithoutReplyIsNeverSentTwice) {
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    const Result item = bench.cli(exchangeArgs("read", 0x92, 6));
    const QByteArray itemPayload = QByteArray::fromHex(payloadsOf(item).value(0).toLatin1());
    ASSERT_EQ(itemPayload.size(), 6);
    const quint16 serial = quint16(quint8(itemPayload.at(0)) | quint8(itemPayload.at(1)) << 8);
    const QByteArray password = writeFrame(1, 0xB0, itemData(serial, le32(1111)));
    bench.line().plan(password, {}, Fault::lostReply);
    bench.line().forget();
    const Result r = bench.cli({QStringLiteral("--retries"), QStringLiteral("4"), QStringLiteral("item"),
                                QStringLiteral("set"), QStringLiteral("--item"), QStringLiteral("19"),
                                QStringLiteral("--value"), QStringLiteral("12"), QStringLiteral("--password"),
                                QStringLiteral("1:1111")});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("нет ответа от корректора!!!"))) << r.err.toStdString();
    QList<QByteArray> writes;
    for (const FaultyLine::Passage& p : bench.line().passages())
        if (isWrite(p.request)) writes.append(p.request);
    // The password once, and nothing written after it.
    EXPECT_EQ(writes, QList<QByteArray>{password});
}

struct ShownValue {
    const char* name;
    int item;
    quint8 code;
    QByteArray value; // the four value bytes the corrector answers with
    const char* text; // what the item shows
};

class ItemReads : public ::testing::TestWithParam<ShownValue> {};

TEST_P(ItemReads, ValueBytesAreShownAsTheirKindSays) {
    const ShownValue& c = GetParam();
    Bench bench;
    ASSERT_TRUE(bench.start(QStringLiteral("series1")));
    bench.line().setOtherValue(c.value);
    bench.line().plan(readFrame(1, kOpRead, c.code, 6), {}, Fault::otherValue);
    const Result r = bench.cli({QStringLiteral("--json"), QStringLiteral("item"), QStringLiteral("get"),
                                QStringLiteral("--item"), QString::number(c.item)});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    // The read went out and its reply carried the bytes given here.
    bool asked = false;
    for (const FaultyLine::Passage& p : bench.line().passages())
        if (p.request == readFrame(1, kOpRead, c.code, 6)) {
            asked = true;
            EXPECT_EQ(p.delivered.mid(3, 4), c.value);
        }
    EXPECT_TRUE(asked);
    EXPECT_EQ(jsonOf(r).value(QStringLiteral("text")).toString(), QString::fromUtf8(c.text))
        << r.out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ItemReads,
    ::testing::Values(
        // A float that is not a number is shown as 0.
        ShownValue{"DensityNaN", 1, 0x82, hexBytes("FF FF FF FF"), "0"},
        // A list index beyond its list shows an empty field: the sensors' list has eight entries.
        ShownValue{"SensorsBeyondList", 29, 0xAF, hexBytes("08 00 00 00"), ""},
        ShownValue{"SensorsLastEntry", 29, 0xAF, hexBytes("07 00 00 00"), "Выкл. Q+T+P"},
        // The clock correction is signed.
        ShownValue{"ClockCorrectionNegative", 18, 0x93, hexBytes("FD 00 00 00"), "-3"},
        // The system address is shown one up.
        ShownValue{"SystemAddress", 27, 0x9B, hexBytes("00 00 00 00"), "1"},
        // The contract hour as hh:00.
        ShownValue{"ContractHour", 20, 0x90, hexBytes("07 00 00 00"), "07:00"},
        // The alarm-change mask as four hexadecimal digits.
        ShownValue{"AlarmMask", 37, 0xF0, hexBytes("AB 01 00 00"), "01AB"},
        // The operative archive's mode from its list.
        ShownValue{"OperativeMode", 23, 0x98, hexBytes("04 00 00 00"), "интер.зап.10мин."}),
    [](const auto& info) { return std::string(info.param.name); });

struct Refusal {
    const char* name;
    const char* preset;
    int item;
    const char* value;
    const char* unit;
    const char* message;
};

// Each value refused with its message, the verifier's password given; afterwards the simulator's log
// holds no write at all and the corrector is at the access level it started at.
void expectRefusedOffTheLine(const QList<Refusal>& cases) {
    for (const char* preset : {"series1", "series2"}) {
        Bench bench;
        ASSERT_TRUE(bench.start(QString::fromLatin1(preset)));
        for (const Refusal& c : cases) {
            if (std::strcmp(c.preset, preset) != 0) continue;
            SCOPED_TRACE(c.name);
            QStringList args{QStringLiteral("item"),       QStringLiteral("set"),
                             QStringLiteral("--item"),     QString::number(c.item),
                             QStringLiteral("--value"),    QString::fromUtf8(c.value),
                             QStringLiteral("--password"), QStringLiteral("7:7777")};
            if (c.unit) args << QStringLiteral("--unit") << QString::fromLatin1(c.unit);
            const Result r = bench.cli(args);
            EXPECT_NE(r.code, 0);
            EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
        }
        const auto end = bench.finish();
        ASSERT_TRUE(end);
        for (const QByteArray& q : requestsOf(end->log))
            EXPECT_FALSE(isWrite(q)) << preset
                                     << ": a write went over the line: " << upperHex(q).toStdString();
        Bench fresh;
        ASSERT_TRUE(fresh.start(QString::fromLatin1(preset)));
        const auto pristine = fresh.finish();
        ASSERT_TRUE(pristine);
        EXPECT_EQ(end->corrector.value(QStringLiteral("accessLevel")).toInt(),
                  pristine->corrector.value(QStringLiteral("accessLevel")).toInt());
        EXPECT_EQ(wordsOf(end->corrector), wordsOf(pristine->corrector));
    }
}

TEST(ItemRefusals, NumbersOutsideTheirRangeNeverReachTheLine) {
    expectRefusedOffTheLine({
        {"IntervalAbove", "series1", 24, "25.01", nullptr, "Переменная  больше допуска!0.01..25"},
        {"IntervalBelow", "series1", 24, "0.009", nullptr, "Переменная  меньше допуска!0.01..25"},
        {"IntervalComma", "series1", 24, "1,5", nullptr, "Ошибка набора переменной !"},
        // 0.991 MPa is 10.105 kgf/cm², above the 10.1 the gauge pressure allows.
        {"GaugeInMPaAbove", "series2", 6, "0.991", "MPa", "Переменная  больше допуска!0..10.1"},
        {"GaugeNotANumber", "series2", 6, "1,5", "cmH2O", "Ошибка набора переменной !"},
        // Centimetres of water are the gauge pressure's unit, not the barometric one's.
        {"BarometricInCmH2O", "series2", 43, "760", "cmH2O", "kgf, mmHg or MPa for item 43"},
    });
}

// A value that is not in its item's list (a choice or a flag) is refused with the list's message before
// anything goes to the corrector, as a number out of its range is: no password written, no access level
// left open.
TEST(ItemRefusals, ListValuesNotInTheirListNeverReachTheLine) {
    expectRefusedOffTheLine({
        {"SensorsNotInList", "series1", 29, "Выкл. X", nullptr, "Ошибка значения переменной : Датчики"},
        {"UnitNotInList", "series1", 38, "бар", nullptr, "Ошибка значения переменной : Единица давления"},
        {"SensorsNotInShortList", "series2", 29, "Выкл. P", nullptr, "Ошибка значения переменной : Датчики"},
    });
}

} // namespace
