#pragma once
// The string-table ids of the download command's messages and the help
// topics its boxes carry: the same in every language.

namespace quillon::msg {

// Questions and notices before the transfer.
constexpr int kStartDownload = 4101;          // the start dialog's text
constexpr int kContinueQuestion = 4102;       // "go on?" appended to warnings
constexpr int kNotATarget = 4103;             // the printer's model is not a target
constexpr int kSeveralPorts = 4104;           // the printer has several ports
constexpr int kParallelOnly = 4105;           // the model needs a parallel port
constexpr int kSetDownloadMode = 4106;        // put the printer in download mode
constexpr int kEcpWarning = 4107;             // the parallel port's ECP mode
constexpr int kInitCheckCaption = 4124;       // the start dialog's check box
constexpr int kInitSettingsWarning = 4193;    // settings memory will be reset
constexpr int kNoInitSettingsWarning = 4194;  // settings memory will be kept

// Results and advice after the transfer.
constexpr int kDownloadEnded = 4113;
constexpr int kFileOpenFailed = 4114;
constexpr int kPrinterOpenFailed = 4115;
constexpr int kSendFailed = 4116;
constexpr int kDownloadAborted = 4117;
constexpr int kTempFileFailed = 4118;
constexpr int kDownloadFailed = 4119;
constexpr int kSwitchOffAdvice = 4120;        // check the data lamp, switch off and on
constexpr int kWaitForRestart = 4121;         // the standard closing advice
constexpr int kBareDataAdvice = 4122;         // after data sent without the command
constexpr int kNotFirmwareFormat = 4123;
constexpr int kDirectoryFailed = 4357;

// Input checks.
constexpr int kFileNotFound = 4352;
constexpr int kFileBadFormat = 4353;
constexpr int kChooseFile = 4355;
constexpr int kChoosePrinter = 4356;

}  // namespace quillon::msg

namespace quillon::help {

constexpr int kNone = 0;
constexpr int kNotATarget = 1011;
constexpr int kPortWarning = 1012;
constexpr int kDownloadMode = 1015;
constexpr int kAfterDownload = 1016;
constexpr int kEcpPort = 1020;
constexpr int kInitSettings = 1031;
constexpr int kNoInitSettings = 1032;
constexpr int kDownloadEnded = 2001;
constexpr int kFileOpenFailed = 2002;
constexpr int kTempFileFailed = 2004;
constexpr int kPrinterOrSendFailed = 2005;
constexpr int kDownloadAborted = 2008;
constexpr int kDirectoryFailed = 2010;
constexpr int kGeneral = 9999;

}  // namespace quillon::help
