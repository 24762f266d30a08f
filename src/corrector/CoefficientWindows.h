#pragma once
// The two coefficient windows without their widgets: the meter-coefficient window (Z-900) and the
// calibration window of a metering complex. Each holds its cells as texts, its status labels and its
// wait panel; "ЧТЕНИЕ" and "ЗАПИСЬ" go through the operation start (operations 13..16), which hands them
// back here, and run as a CoefficientTransfer. What is read lands in the table and in the corrector
// window's parameter image, so the files and the printout carry it.
#include "common/Notifier.h"
#include "corrector/CalibPermission.h"
#include "corrector/CoefficientTables.h"
#include "corrector/CoefficientTransfer.h"
#include "corrector/CorrectorSession.h"
#include "corrector/Reading.h"

#include <QList>
#include <QObject>
#include <QString>

namespace tarn::corrector {

// "прочитайте параметри коректора!" / "прочитайте параметры корректора!!!".
QString readParametersFirstText(int languageIndex);
// "ЧТЕНИЕ НОРМА" / "ЗАПИСЬ НОРМА" in the language.
QString coefficientReadDoneText(int languageIndex);
QString coefficientWriteDoneText(int languageIndex);
// "№ " + word + " - ОШИБКА!!!" (Ukrainian "№ " + word + "- ПОМИЛКА!").
QString coefficientFailureText(int word, int languageIndex);
// The item code as 2 hexadecimal digits + " / " + the cell text.
QString coefficientWritingText(quint8 itemCode, const QString& cellText);

// What the two windows share: the session, the transfer, the operation codes and the labels.
class CoefficientWindowModel : public QObject {
    Q_OBJECT
public:
    ~CoefficientWindowModel() override;

    CorrectorSession& session() { return session_; }
    CoefficientTransfer& transfer() { return transfer_; }
    int languageIndex() const { return session_.reading().languageIndex; }
    bool waitShown() const { return waitShown_; }
    bool running() const { return transfer_.running() || pendingCode_ >= 0; }

    // "ЧТЕНИЕ" and "ЗАПИСЬ": through the operation start. False when nothing was started (the reason has
    // been told).
    bool read();
    bool write();
    // Operations 13..16 come back here from the operation start.
    void runOperation(int code);

    // The file name the save dialog proposes: the meter serial number field when it has exactly 5
    // characters, otherwise nothing.
    QString proposedFileName() const;
    // The file's lines into the cells (a file that cannot be read does nothing); false when nothing was
    // loaded.
    bool loadFile(const QString& path);
    // The cells as they stand into the file; false (told) when it could not be written.
    bool saveFile(const QString& path);
    // The name chosen in the save dialog: everything from its first "." replaced by the file kind's
    // extension, the user asked before an existing file is overwritten, then saveFile.
    bool saveFileAs(const QString& chosenPath);

signals:
    void changed();
    // A read or write has ended: with every word or not.
    void transferEnded(bool completed);

protected:
    CoefficientWindowModel(CorrectorSession& session, link::ExchangeEngine& engine, Notifier& notifier,
                           int readCode, int writeCode, QObject* parent);

    // What the window does at each stage.
    virtual CoefficientWrite valuesToWrite() const = 0;
    virtual QList<int> wordsToRead() const = 0;
    virtual CoefficientTable& table() = 0;
    // A transfer may start now (the calibration window: only while permitted, and not while the
    // permission's re-check holds the line).
    virtual bool mayTransfer() const { return true; }
    virtual void readStarting() {}
    virtual void writeStarting() {}
    virtual void showWriting(const QString& text) = 0;
    virtual void showEnded(const QString& text) = 0;
    virtual void refillCells() = 0;
    virtual QStringList fileLines() const = 0;
    virtual void applyFileLines(const QStringList& lines) = 0;
    virtual QString fileExtension() const = 0;

    void setWaitShown(bool shown);
    Notifier& notifier_;

private:
    // A word read, or written and accepted: into the table and the corrector window's image.
    void onWordTaken(int word, const QByteArray& value);
    void onFinished(bool completed);

    CorrectorSession& session_;
    CoefficientTransfer transfer_;
    int readCode_;
    int writeCode_;
    int pendingCode_ = -1; // the operation asked of the operation start, until it comes back
    CoefficientWrite pendingWrite_;
    bool waitShown_ = false;
};

// "Коэффициенты  счетчика Z-900".
class MeterCoefWindowModel final : public CoefficientWindowModel {
    Q_OBJECT
public:
    MeterCoefWindowModel(CorrectorSession& session, link::ExchangeEngine& engine, Notifier& notifier,
                         QObject* parent = nullptr);

    // The cells from the table as the corrector window's image holds it (100 ms after opening).
    void fill();
    const MeterCoefCells& cells() const { return cells_; }
    MeterCoefCells& cells() { return cells_; }
    const MeterCoefTable& meterTable() const { return table_; }
    const QString& status() const { return status_; }

protected:
    CoefficientWrite valuesToWrite() const override { return meterCoefWrite(cells_); }
    QList<int> wordsToRead() const override { return meterCoefTransferWords(); }
    CoefficientTable& table() override { return table_; }
    void showWriting(const QString& text) override;
    void showEnded(const QString& text) override;
    void refillCells() override { cells_ = meterCoefCells(table_); }
    QStringList fileLines() const override { return whiLines(cells_); }
    void applyFileLines(const QStringList& lines) override { applyWhiLines(cells_, lines); }
    QString fileExtension() const override { return QStringLiteral("whi"); }

private:
    MeterCoefTable table_;
    MeterCoefCells cells_;
    QString status_;
};

// "Коэффициенты калибровки".
class CalibWindowModel final : public CoefficientWindowModel {
    Q_OBJECT
public:
    CalibWindowModel(CorrectorSession& session, link::ExchangeEngine& engine, link::LinkPort& port,
                     Notifier& notifier, QObject* parent = nullptr);

    // The window may open: the corrector's parameters have been read (else the reason is told).
    static bool mayOpen(const CorrectorWindowModel& model, Notifier& notifier);

    CalibPermissionCheck& permission() { return permission_; }
    bool permitted() const { return permission_.permitted(); }
    // The window has opened: the permission check begins.
    void open();
    // "ВЫХОД" or a failed check: nothing more is sent, the line is given back.
    void close();
    // "ПАРАМЕТРЫ": the full parameter read (operation 2); the tables follow it.
    bool readParameters();

    const CalibCells& cells() const { return cells_; }
    // The cells as they are to be written (a file's lines, say); no % is worked out here.
    CalibCells& cells() { return cells_; }
    const CalibTable& calibTable() const { return table_; }
    // The editor's accepted text for a cell (see applyCalibCell).
    bool editCell(int point, CalibColumn column, const QString& text);
    // The curves drawn so far (each the 14 percentages of one filling of the tables) and the y range
    // the axes were given when calibration became permitted.
    const QList<QList<double>>& curves() const { return curves_; }
    double yMin() const { return yMin_; }
    double yMax() const { return yMax_; }
    const QString& firstLabel() const { return first_; }
    const QString& secondLabel() const { return second_; }

signals:
    void permittedNow();
    // The window is to close: the permission was refused or lost.
    void closeWanted();

protected:
    CoefficientWrite valuesToWrite() const override { return calibWrite(cells_); }
    QList<int> wordsToRead() const override { return calibTransferWords(); }
    CoefficientTable& table() override { return table_; }
    bool mayTransfer() const override {
        return permitted() && permission_.state() != CalibPermissionCheck::State::Rechecking;
    }
    void readStarting() override;
    void writeStarting() override;
    void showWriting(const QString& text) override;
    void showEnded(const QString& text) override;
    void refillCells() override;
    QStringList fileLines() const override { return zibLines(cells_); }
    void applyFileLines(const QStringList& lines) override { applyZibLines(cells_, lines); }
    QString fileExtension() const override { return QStringLiteral("zib"); }

private:
    void fillFromImage();
    void setAxes();

    CalibTable table_;
    CalibCells cells_;
    CalibPermissionCheck permission_;
    QList<QList<double>> curves_;
    double yMin_ = -0.5;
    double yMax_ = 0.5;
    QString first_;
    QString second_;
};

} // namespace tarn::corrector
