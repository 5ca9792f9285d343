// Stand-ins for the network and FTP views until they are built; removed
// when MainNetworkViews.cpp defines them.
#include "ui/TfrmMain.h"

void TfrmMain::PM_NetworkClick() {}

void TfrmMain::PM_FtpClick() {}
