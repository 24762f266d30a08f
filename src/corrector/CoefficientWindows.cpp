#include "corrector/CoefficientWindows.h"

#include "common/Language.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/ItemTable.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace tarn::corrector {

QString readParametersFirstText(int languageIndex) {
    return uaRu(languageIndex, "прочитайте параметри коректора!", "прочитайте параметры корректора!!!");
}

QString coefficientReadDoneText(int languageIndex) {
    return uaRu(languageIndex, "ЧИТАННЯ  НОРМА", "ЧТЕНИЕ НОРМА");
}

QString coefficientWriteDoneText(int languageIndex) {
    return uaRu(languageIndex, "ЗАПИС НОРМА", "ЗАПИСЬ НОРМА");
}

QString coefficientFailureText(int word, int languageIndex) {
    return QStringLiteral("№ ") + QString::number(word) + uaRu(languageIndex, "- ПОМИЛКА!", " - ОШИБКА!!!");
}

QString coefficientWritingText(quint8 itemCode, const QString& cellText) {
    return QStringLiteral("%1").arg(itemCode, 2, 16, QLatin1Char('0')).toUpper() + QStringLiteral(" / ") +
           cellText;
}

CoefficientWindowModel::CoefficientWindowModel(CorrectorSession& session, link::ExchangeEngine& engine,
                                               Notifier& notifier, int readCode, int writeCode,
                                               QObject* parent)
    : QObject(parent), notifier_(notifier), session_(session), transfer_(engine, notifier),
      readCode_(readCode), writeCode_(writeCode) {
    session_.setCoefficientRunner([this](int code) { runOperation(code); });
    connect(&transfer_, &CoefficientTransfer::wordRead, this, &CoefficientWindowModel::onWordTaken);
    // What the corrector has accepted is what its memory holds now.
    connect(&transfer_, &CoefficientTransfer::wordWritten, this, &CoefficientWindowModel::onWordTaken);
    connect(&transfer_, &CoefficientTransfer::finished, this, &CoefficientWindowModel::onFinished);
    connect(&transfer_, &CoefficientTransfer::writingWord, this, [this](int word, quint8 code) {
        const int i = static_cast<int>(pendingWrite_.words.indexOf(word));
        showWriting(coefficientWritingText(code, pendingWrite_.texts.value(i)));
    });
}

CoefficientWindowModel::~CoefficientWindowModel() {
    session_.setCoefficientRunner({});
    transfer_.stop();
}

bool CoefficientWindowModel::read() {
    if (running() || !mayTransfer()) return false;
    pendingCode_ = readCode_;
    if (session_.startOperation(readCode_) == OperationStart::StartResult::Refused) {
        pendingCode_ = -1;
        return false;
    }
    return true;
}

bool CoefficientWindowModel::write() {
    if (running() || !mayTransfer()) return false;
    const int lang = languageIndex();
    // Every cell is checked before the first word goes: a table half written with the rest refused
    // would leave the corrector with a curve that is neither the old one nor the new.
    const CoefficientWrite values = valuesToWrite();
    if (!values.ok()) {
        notifier_.message(MessageKind::Error, CheckMessage(CheckResult::valueSyntax, lang) +
                                                  QStringLiteral(" № ") + QString::number(values.badWord) +
                                                  QStringLiteral(" \"") + values.badText + QLatin1Char('"'));
        return false;
    }
    // Each write carries the corrector's serial number; without a parameter read there is none to send.
    if (!session_.model().hasSerial()) {
        notifier_.message(MessageKind::Error, readParametersFirstText(lang));
        return false;
    }
    pendingWrite_ = values;
    pendingCode_ = writeCode_;
    if (session_.startOperation(writeCode_) == OperationStart::StartResult::Refused) {
        pendingCode_ = -1;
        return false;
    }
    return true;
}

void CoefficientWindowModel::runOperation(int code) {
    if (code != pendingCode_) {
        session_.operationEnded();
        return;
    }
    pendingCode_ = -1;
    setWaitShown(true);
    if (code == readCode_) {
        readStarting();
        transfer_.read(wordsToRead());
    } else {
        writeStarting();
        const auto serial = static_cast<quint32>(session_.model().reading().image.serialNumber());
        transfer_.write(pendingWrite_.words, pendingWrite_.values, serial);
    }
    emit changed();
}

void CoefficientWindowModel::onWordTaken(int word, const QByteArray& value) {
    table().setWord(word, value);
    // The corrector window's image keeps what has been read: the files and the printout take it there.
    session_.model().imageForLoading().setWordBytes(word, value);
}

void CoefficientWindowModel::onFinished(bool completed) {
    const int lang = languageIndex();
    const bool wasWrite = transfer_.writing();
    setWaitShown(false);
    if (!completed) {
        showEnded(coefficientFailureText(transfer_.currentWord(), lang));
    } else if (wasWrite) {
        showEnded(coefficientWriteDoneText(lang));
    } else {
        refillCells();
        showEnded(coefficientReadDoneText(lang));
    }
    session_.operationEnded();
    emit changed();
    emit transferEnded(completed);
}

void CoefficientWindowModel::setWaitShown(bool shown) {
    waitShown_ = shown;
}

QString CoefficientWindowModel::proposedFileName() const {
    const QString serial = session_.model().text(Field::MeterSerial);
    return serial.size() == 5 ? serial : QString();
}

bool CoefficientWindowModel::loadFile(const QString& path) {
    const auto lines = readCoefficientFile(path);
    if (!lines) return false;
    applyFileLines(*lines);
    emit changed();
    return true;
}

bool CoefficientWindowModel::saveFile(const QString& path) {
    if (writeCoefficientFile(path, fileLines())) return true;
    notifier_.message(MessageKind::Error, uaRu(languageIndex(), "Помилка запису ", "Ошибка записи ") +
                                              QDir::toNativeSeparators(path));
    return false;
}

bool CoefficientWindowModel::saveFileAs(const QString& chosenPath) {
    const QString target = finalFileName(chosenPath, fileExtension());
    if (QFileInfo::exists(target) && !notifier_.confirm(overwriteQuestion(target, languageIndex())))
        return false;
    return saveFile(target);
}

MeterCoefWindowModel::MeterCoefWindowModel(CorrectorSession& session, link::ExchangeEngine& engine,
                                           Notifier& notifier, QObject* parent)
    : CoefficientWindowModel(session, engine, notifier, operation::MeterCoefRead, operation::MeterCoefWrite,
                             parent) {}

void MeterCoefWindowModel::fill() {
    table_.loadFrom(session().model().reading().image);
    refillCells();
    emit changed();
}

void MeterCoefWindowModel::showWriting(const QString& text) {
    status_ = text;
    emit changed();
}

void MeterCoefWindowModel::showEnded(const QString& text) {
    status_ = text;
}

bool CalibWindowModel::mayOpen(const CorrectorWindowModel& model, Notifier& notifier) {
    if (model.hasSerial()) return true;
    notifier.message(MessageKind::Warning, readParametersFirstText(model.languageIndex()));
    return false;
}

CalibWindowModel::CalibWindowModel(CorrectorSession& session, link::ExchangeEngine& engine,
                                   link::LinkPort& port, Notifier& notifier, QObject* parent)
    : CoefficientWindowModel(session, engine, notifier, operation::CalibrationRead,
                             operation::CalibrationWrite, parent),
      permission_(session.model(), engine, port, notifier) {
    permission_.transferRunning = [this] { return running(); };
    connect(&permission_, &CalibPermissionCheck::permittedNow, this, [this] {
        fillFromImage();
        setAxes();
        emit permittedNow();
        emit changed();
    });
    connect(&permission_, &CalibPermissionCheck::refused, this, [this] {
        close();
        emit closeWanted();
    });
    // The full parameter read brings the table with it.
    connect(&session, &CorrectorSession::readRunClosed, this, [this](bool completed) {
        if (completed && permitted()) fillFromImage();
    });
}

void CalibWindowModel::open() {
    permission_.start();
}

void CalibWindowModel::close() {
    transfer().stop();
    permission_.stop();
    setWaitShown(false);
}

bool CalibWindowModel::readParameters() {
    if (!permitted() || running()) return false;
    return session().startOperation(operation::Parameters) != OperationStart::StartResult::Refused;
}

void CalibWindowModel::fillFromImage() {
    table_.loadFrom(session().model().reading().image);
    refillCells();
    emit changed();
}

void CalibWindowModel::refillCells() {
    cells_ = calibCells(table_);
    curves_.append(calibPercentages(cells_));
}

void CalibWindowModel::setAxes() {
    const QList<double> values = calibPercentages(cells_);
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    yMin_ = std::min(0.0, *low) - 0.5;
    yMax_ = std::max(0.0, *high) + 0.5;
}

bool CalibWindowModel::editCell(int point, CalibColumn column, const QString& text) {
    if (!applyCalibCell(cells_, point, column, text)) return false;
    emit changed();
    return true;
}

void CalibWindowModel::readStarting() {
    permission_.transferStarted();
    first_ = uaRu(languageIndex(), "ЧИТАННЯ", "ЧТЕНИЕ");
    second_.clear();
}

void CalibWindowModel::writeStarting() {
    permission_.transferStarted();
    first_ = uaRu(languageIndex(), "ЗАПИС", "ЗАПИСЬ");
    second_.clear();
}

void CalibWindowModel::showWriting(const QString& text) {
    second_ = text;
    emit changed();
}

void CalibWindowModel::showEnded(const QString& text) {
    first_ = text;
}

} // namespace tarn::corrector
