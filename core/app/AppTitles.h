#pragma once
// Fixed names of the program.

#include <QtGlobal>

namespace quillon {

// Title of the application and caption of its main window (shown through
// QCoreApplication::translate("Quillon", ...)).
inline constexpr char kApplicationTitle[] =
    QT_TRANSLATE_NOOP("Quillon", "HALVORN ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱ ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ");
// A copy that finds another one running raises the window of this title
// (a name between copies of the program, never translated).
inline constexpr char kRaiseWindowTitle[] = "HALVORN LUMATYPE ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ";
// Name of the single-instance lock and of the local socket beside it.
inline constexpr char kInstanceName[] = "QUILLON";
inline constexpr char kHelpFileName[] = "QUILLON.HLP";
// The same help in English, shown outside Japanese locales.
inline constexpr char kHelpFileNameEnglish[] = "QUILLON_EN.HLP";

}  // namespace quillon
