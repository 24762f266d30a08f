#pragma once
// The captions of the link settings window and the port initialisation window, in both languages: the
// windows' own words, kept with them so that the settings logic below carries none (tarn-cli's port
// check prints the initialisation window's lines too).
#include "common/Language.h"

namespace tarn::link {

// The settings window's texts, pairs in the window's order.
enum SettingsPair {
    kSetCaption = 0,
    kSetSave,
    kSetPortScan,
    kSetExit,
    kSetRsGroup,
    kSetCorrPort,
    kSetSpeed,
    kSetReadTimeout,
    kSetWriteTimeout,
    kSetRetries,
    kSetSecondDriver,
    kSetResetOnFailure,
    kSetModem,
    kSetModemInit,
    kSetModemHold,
    kSetUsbGroup,
    kSetLptGroup,
    kSetLptAddress,
    kSetLptDelay,
    kSetChannelsOff,
    kSetRsOff,
    kSetUsbOff,
    kSetLptOff,
    kSetSync,
    kSetSyncHint,
    kSetSyncChangePath,
    kSetLanguage,
    kSetServiceCode,
    kSetList,
    kSetSyncFolder,
    kSetTransferPort,
};
extern const TextPairs kSettingsTexts;

// Texts of the port initialisation window.
enum InitPortPair { kInitAddress = 0, kInitPort, kInitSpeed, kInitCaption };
extern const TextPairs kInitPortTexts;

} // namespace tarn::link
