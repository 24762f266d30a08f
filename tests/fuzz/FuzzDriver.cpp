// The program around a fuzz target. It replays every corpus file given (files, or folders of them), then
// mutates corpus entries with a seeded generator: bit flips, bytes set, inserted, deleted, duplicated,
// and splices of two entries. The run is repeatable from its seed. The time budget only bounds the
// mutation loop; when the target crashes or a sanitizer stops the program, the input that did it is
// written to crash-<target>-<seed>-<run> in the artifact folder, ready to become a regression input.
#include "FuzzDriver.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

namespace tarn::fuzz {

QTemporaryDir& scratch() {
    static QTemporaryDir dir;
    return dir;
}

bool putFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(bytes) == bytes.size();
}

namespace {

// What the crash handlers write out; set before every run of the target.
const QByteArray* currentInput = nullptr;
char crashPath[4096] = {};

void saveCurrentInput() {
    if (!currentInput || crashPath[0] == '\0') return;
    const int fd = ::open(crashPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    const char* p = currentInput->constData();
    std::size_t left = static_cast<std::size_t>(currentInput->size());
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n <= 0) break;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    ::close(fd);
    static const char note[] = "fuzz: the failing input is in ";
    [[maybe_unused]] ssize_t w = ::write(2, note, sizeof note - 1);
    w = ::write(2, crashPath, std::strlen(crashPath));
    w = ::write(2, "\n", 1);
}

void onFatalSignal(int signal) {
    saveCurrentInput();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

struct Options {
    long long runs = 0;
    double seconds = 0;
    unsigned long long seed = 1;
    int maxLength = 64 * 1024;
    QString artifacts = QStringLiteral(".");
    QStringList corpus;
};

[[noreturn]] void usage(const char* program) {
    std::fprintf(stderr,
                 "usage: %s [--runs N] [--seconds S] [--seed N] [--max-len BYTES] [--artifacts DIR] "
                 "CORPUS...\n"
                 "Replays every corpus file, then runs mutations until N runs or S seconds (0: none).\n",
                 program);
    std::exit(2);
}

Options parseOptions(const QStringList& args) {
    Options o;
    const QByteArray programName = args.value(0).toLocal8Bit();
    const char* program = programName.constData();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&]() -> QString {
            if (i + 1 >= args.size()) usage(program);
            return args[++i];
        };
        bool ok = true;
        if (a == QLatin1String("--runs"))
            o.runs = value().toLongLong(&ok);
        else if (a == QLatin1String("--seconds"))
            o.seconds = value().toDouble(&ok);
        else if (a == QLatin1String("--seed"))
            o.seed = value().toULongLong(&ok);
        else if (a == QLatin1String("--max-len"))
            o.maxLength = value().toInt(&ok);
        else if (a == QLatin1String("--artifacts"))
            o.artifacts = value();
        else if (a.startsWith(QLatin1String("--")))
            usage(program);
        else
            o.corpus.append(a);
        if (!ok || o.runs < 0 || o.seconds < 0 || o.maxLength < 1) usage(program);
    }
    return o;
}

// Corpus files in a fixed order, so that a seed names the same run everywhere.
std::vector<QByteArray> loadCorpus(const QStringList& paths) {
    QStringList files;
    for (const QString& p : paths) {
        if (QFileInfo(p).isDir()) {
            QDirIterator it(p, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                files.append(it.next());
        } else {
            files.append(p);
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<QByteArray> corpus;
    for (const QString& f : files) {
        QFile file(f);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "fuzz: cannot read %s\n", qPrintable(f));
            std::exit(2);
        }
        corpus.push_back(file.readAll());
    }
    return corpus;
}

class Mutator {
public:
    Mutator(unsigned long long seed, const std::vector<QByteArray>& corpus, int maxLength)
        : random_(seed), corpus_(corpus), maxLength_(maxLength) {}

    QByteArray next() {
        QByteArray input = corpus_.empty() ? QByteArray() : corpus_[below(corpus_.size())];
        const int steps = 1 + static_cast<int>(below(4));
        for (int s = 0; s < steps; ++s)
            mutate(input);
        if (input.size() > maxLength_) input.truncate(maxLength_);
        return input;
    }

private:
    std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(random_() % n); }
    char anyByte() {
        // Half the time a value that sits on a boundary.
        static const quint8 edges[] = {0x00, 0x01, 0x7F, 0x80, 0xFF, 0xFE, 0x0D, 0x0A, 0x2F, 0x20};
        if (below(2) == 0) return static_cast<char>(edges[below(sizeof edges)]);
        return static_cast<char>(below(256));
    }

    void mutate(QByteArray& b) {
        const auto at = [&] { return static_cast<qsizetype>(below(static_cast<std::size_t>(b.size()))); };
        switch (below(b.isEmpty() ? 2 : 7)) {
        case 0: // insert bytes
            b.insert(b.isEmpty() ? 0 : at(), QByteArray(1 + static_cast<qsizetype>(below(8)), anyByte()));
            return;
        case 1: { // splice: a piece of another entry
            if (corpus_.empty()) return;
            const QByteArray& other = corpus_[below(corpus_.size())];
            if (other.isEmpty()) return;
            const qsizetype from = static_cast<qsizetype>(below(static_cast<std::size_t>(other.size())));
            const qsizetype length = 1 + static_cast<qsizetype>(below(static_cast<std::size_t>(other.size() - from)));
            b.insert(b.isEmpty() ? 0 : at(), other.mid(from, length));
            return;
        }
        case 2: { // flip a bit
            const qsizetype i = at();
            b[i] = static_cast<char>(b[i] ^ (1 << below(8)));
            return;
        }
        case 3: // set a byte
            b[at()] = anyByte();
            return;
        case 4: { // delete a run
            const qsizetype i = at();
            b.remove(i, 1 + static_cast<qsizetype>(below(static_cast<std::size_t>(std::min<qsizetype>(b.size() - i, 64)))));
            return;
        }
        case 5: { // duplicate a run
            const qsizetype i = at();
            const QByteArray run = b.mid(i, 1 + static_cast<qsizetype>(below(32)));
            b.insert(at(), run);
            return;
        }
        default: // cut the tail
            b.truncate(at());
            return;
        }
    }

    std::mt19937_64 random_;
    const std::vector<QByteArray>& corpus_;
    int maxLength_;
};

void runOne(const QByteArray& input) {
    currentInput = &input;
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.constData()),
                           static_cast<std::size_t>(input.size()));
    currentInput = nullptr;
}

} // namespace
} // namespace tarn::fuzz

int main(int argc, char** argv) {
    using namespace tarn::fuzz;
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(QCoreApplication::arguments());
    if (!scratch().isValid()) {
        std::fprintf(stderr, "fuzz: no temporary folder\n");
        return 2;
    }
    const std::vector<QByteArray> corpus = loadCorpus(options.corpus);
    const QString target = QFileInfo(QCoreApplication::applicationFilePath()).fileName();

    std::signal(SIGSEGV, onFatalSignal);
    std::signal(SIGABRT, onFatalSignal);
    std::signal(SIGFPE, onFatalSignal);
    std::signal(SIGBUS, onFatalSignal);
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_set_death_callback(saveCurrentInput);
#endif
    auto setCrashPath = [&](const QString& tag) {
        const QByteArray p = QDir(options.artifacts).filePath(QStringLiteral("crash-%1-%2").arg(target, tag)).toLocal8Bit();
        std::snprintf(crashPath, sizeof crashPath, "%s", p.constData());
    };

    setCrashPath(QStringLiteral("corpus"));
    for (const QByteArray& input : corpus)
        runOne(input);

    Mutator mutator(options.seed, corpus, options.maxLength);
    const auto start = std::chrono::steady_clock::now();
    const auto budgetLeft = [&] {
        if (options.seconds <= 0) return true;
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < options.seconds;
    };
    long long runs = 0;
    const bool mutating = options.runs > 0 || options.seconds > 0;
    while (mutating && (options.runs == 0 || runs < options.runs) && budgetLeft()) {
        const QByteArray input = mutator.next();
        setCrashPath(QStringLiteral("%1-%2").arg(options.seed).arg(runs));
        runOne(input);
        ++runs;
    }
    std::printf("%s: %zu corpus inputs, %lld mutations (seed %llu), no failure\n", qPrintable(target),
                corpus.size(), runs, options.seed);
    return 0;
}
