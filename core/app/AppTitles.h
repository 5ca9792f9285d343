#pragma once
// Fixed names of the program.

// Title of the application and caption of its main window.
inline constexpr char kApplicationTitle[] = "HALVORN ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱ ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ";
// A copy that finds another one running raises the window of this title.
inline constexpr char kRaiseWindowTitle[] = "HALVORN LUMATYPE ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ";
// Name of the single-instance lock and of the local socket beside it.
inline constexpr char kInstanceName[] = "QUILLON";
inline constexpr char kHelpFileName[] = "QUILLON.HLP";
