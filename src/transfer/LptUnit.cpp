#include "transfer/LptUnit.h"

#include "common/Language.h"
#include "corrector/Reading.h"
#include "transfer/TransferUnit.h"

namespace tarn::transfer {

namespace {
constexpr int kResetEvery = 20;
constexpr int kFailuresInRow = 5;
constexpr int kProbeAddress = 0x7F00;
constexpr int kProbeFirstWord = 6996;
// Chip 3 from the coefficient area to its end: what the copy says of itself.
constexpr int kTopPages = 0x7C00;
} // namespace

LptImageRead::LptImageRead(LptBus& bus, corrector::Reading& reading, int languageIndex)
    : bus_(bus), reading_(reading), lang_(languageIndex) {}

LptImageRead::~LptImageRead() = default;

std::optional<QString> LptImageRead::begin() {
    bus_.reset();
    QByteArray region3(kChipBytes, '\0');
    for (int address = kTopPages; address < kChipBytes; address += 256) {
        const std::optional<QByteArray> page = bus_.readPage(3, address);
        if (!page) return message_ = uaRu(lang_, "Помилка обміну по LPT", "Ошибка обмена по LPT");
        region3.replace(address, 256, *page);
    }
    const ZoneCheck check = checkZone(region3, lang_);
    if (check.status == ZoneOldVersion && parameterAreaSumOk(region3))
        return message_ = uaRu(lang_, "Читати ДТУ-1 програмою QuonR", "Читайте ДТУ-1 программой QuonR");
    if (check.status != ZoneComplete)
        return message_ = uaRu(lang_, "помилка контрольної суми!", "ошибка контрольной суммы!!!");
    touched_ = true;
    if (const auto refused = loadParameters(region3, reading_, lang_)) return message_ = *refused;
    walk_ = std::make_unique<ArchivePageWalk>(reading_, lang_);
    return std::nullopt;
}

bool LptImageRead::step() {
    if (!walk_ || complete_ || !message_.isEmpty()) return false;
    if (++passes_ % kResetEvery == 0) bus_.reset();
    const std::optional<QByteArray> page = bus_.readPage(page_ / 128, (page_ % 128) * 256);
    if (!page) {
        message_ = uaRu(lang_, "Помилка обміну по LPT", "Ошибка обмена по LPT");
        return false;
    }
    // A page its decoder refuses was taken off the bus badly: the bus is reset and the page read again.
    if (walk_->take(page_, *page) == ArchivePageWalk::Result::Rejected) {
        bus_.reset();
        return true;
    }
    if (++page_ < kLogicalPages) return true;
    kinds_ = walk_->finish();
    complete_ = true;
    return false;
}

QByteArray lptTestLine(LptPattern pattern, int firstWord) {
    QByteArray line(kLptLine, pattern == LptPattern::Ones ? static_cast<char>(0xFF) : '\0');
    if (pattern != LptPattern::Address) return line;
    for (int w = 0; w < kLptLine / 2; ++w) {
        const quint16 word = static_cast<quint16>(firstWord + w);
        line[2 * w] = static_cast<char>(word >> 8);
        line[2 * w + 1] = static_cast<char>(word & 0xFF);
    }
    return line;
}

LptUnitTest::LptUnitTest(LptBus& bus, LptPattern pattern, int languageIndex, int pauseMs)
    : bus_(bus), pattern_(pattern), lang_(languageIndex), pauseMs_(qBound(1, pauseMs, kLptPauseMaxMs)) {}

QString LptUnitTest::writeError() const {
    return uaRu(lang_, "\"ДТУ-1 помилка запису!\" рядок: ", "\"ДТУ-1 ошибка записи!!!\" строка: ") +
           QString::number(lineNumber());
}

void LptUnitTest::end(bool ok, const QString& message) {
    finished_ = true;
    succeeded_ = ok;
    message_ = message;
}

bool LptUnitTest::begin() {
    bus_.reset();
    chip_ = 3;
    address_ = kProbeAddress;
    if (!bus_.writeLine(chip_, address_, lptTestLine(LptPattern::Address, kProbeFirstWord))) {
        end(false, writeError());
        return false;
    }
    afterWrite_ = true;
    chip_ = 0;
    address_ = 0;
    word_ = 0;
    checking_ = false;
    return true;
}

bool LptUnitTest::step() {
    if (finished_) return false;
    if (++steps_ % kResetEvery == 0) bus_.reset();
    if (!checking_) {
        written_ = lptTestLine(pattern_, word_);
        acknowledged_ = bus_.writeLine(chip_, address_, written_);
        checking_ = true;
        afterWrite_ = true;
        return true;
    }
    checking_ = false;
    afterWrite_ = false;
    if (!acknowledged_) {
        ++channelFailures_;
        bus_.reset();
        if (++silentInRow_ >= kFailuresInRow) {
            end(false, uaRu(lang_, "\"ДТУ-1 помилка обміну!\"", "\"ДТУ-1 ошибка обмена!!!\""));
            return false;
        }
        return true;
    }
    silentInRow_ = 0;
    const std::optional<QByteArray> back = bus_.readLine(chip_, address_);
    if (!back || *back != written_) {
        ++writeFailures_;
        bus_.reset();
        if (++mismatchesInRow_ >= kFailuresInRow) {
            end(false, writeError());
            return false;
        }
        return true;
    }
    mismatchesInRow_ = 0;
    ++lines_;
    word_ += kLptLine / 2;
    address_ += kLptLine;
    if (address_ >= kChipBytes) {
        address_ = 0;
        word_ = 0;
        if (++chip_ >= kLptChips) {
            end(true, QStringLiteral("\"ТЕСТ НОРМА\""));
            return false;
        }
    }
    return true;
}

} // namespace tarn::transfer
