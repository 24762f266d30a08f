#pragma once
// The routing flags of the exchange engine: other parts of the program set them before they start an
// exchange, and they say whom the next arrival on the port belongs to. The engine tests them in a fixed
// order (ExchangeEngine::onReceived).
#include <QtGlobal>

namespace tarn::link {

// followUp values: a request deferred to the end of the current transfer.
enum FollowUp : int {
    followUpNone = 0,
    followUpReadQueue = 5,   // start the read queue
    followUpStatusBlock = 8, // read status block 4 (opRead 4, 32 bytes, archive kind 16)
    followUpMeasurement = 9, // read the measurement block (opRead 3, 46 bytes, archive kind 15)
};

struct LinkModes {
    bool modemTerminalActive = false; // every chunk goes to the modem initialisation window only
    bool rawCapture = false;          // bytes are only gathered and logged; the owner reads the buffer
    bool frameMode = true;            // off while a polling run dials: received text is modem text
    bool modemConnected = false;      // a modem data connection is up
    bool transferUnitActive = false;  // the bytes belong to the transfer unit
    bool dialWindowActive = false;    // received text goes to the manual dial window
    bool pollingActive = false;       // a polling run is in progress
    bool pollingByPhone = false;      // ... and its connection kind is "телефон"
    bool parameterTransfer = false;   // opRead/opWrite replies belong to the item-by-item transfer
    bool lastItem = false;
    int itemNumber = 0;           // item 1..70 of that transfer
    bool calibrationRead = false; // opRead replies are calibration-coefficient items
    bool meterCoefRead = false;   // opRead replies are meter-coefficient items
    int tableIndex = 0;           // coefficient item being read
    bool programWrite = false;    // opWrite replies belong to the parameter program writer
    int archiveKind = 0;          // read kind 1..27 of the current transfer
    bool readQueue = false;       // several kinds are read one after the other
    bool endOfData = false;       // the archive decoder met the empty end: stop the transfer
    int followUp = followUpNone;
    bool alarmCheckRequested = false;   // the user asked for the alarm check: no warning box
    bool stopRequested = false;         // the polling stop window: time-outs are ignored
    bool coefficientTableModel = false; // the corrector keeps a coefficient table (from its model)

    // Item transfers of the seven passwords (items 48..54).
    bool passwordOperation() const { return parameterTransfer && itemNumber >= 48 && itemNumber <= 54; }
};

} // namespace tarn::link
