<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
  <context>
    <name>BrowseDialog</name>
    <message>
      <source>プリンタの選択</source>
      <translation>Select a Printer</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀ</source>
      <translation>Printer</translation>
    </message>
    <message>
      <source>説明</source>
      <translation>Description</translation>
    </message>
    <message>
      <source>ｷｬﾝｾﾙ</source>
      <translation>Cancel</translation>
    </message>
    <message>
      <source>ﾈｯﾄﾜｰｸﾌﾟﾘﾝﾀが見つかりません。ﾌﾟﾘﾝﾀの電源とﾈｯﾄﾜｰｸ接続、CUPSのﾌﾟﾘﾝﾀ共有の設定を確認してください。</source>
      <translation>No network printers were found. Check that the printers are switched on and connected to the network, and check the printer sharing settings of CUPS.</translation>
    </message>
  </context>
  <context>
    <name>Quillon</name>
    <message>
      <source>HALVORN ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱ ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ</source>
      <translation>HALVORN Printer Control Software Upgrade</translation>
    </message>
  </context>
  <context>
    <name>TDlgMsgBox</name>
    <message>
      <source>ｷｬﾝｾﾙ</source>
      <translation>Cancel</translation>
    </message>
    <message>
      <source>ﾍﾙﾌﾟ</source>
      <translation>Help</translation>
    </message>
    <message>
      <source>詳細...</source>
      <translation>Details...</translation>
    </message>
  </context>
  <context>
    <name>TEEPDlg</name>
    <message>
      <source>初期化項目の選択</source>
      <translation>Settings to Initialise</translation>
    </message>
    <message>
      <source>初期化する項目を選択してください。</source>
      <translation>Select the settings to initialise.</translation>
    </message>
    <message>
      <source>プリンタメニュー設定</source>
      <translation>Printer menu settings</translation>
    </message>
    <message>
      <source>ネットワーク設定</source>
      <translation>Network settings</translation>
    </message>
    <message>
      <source>権限設定</source>
      <translation>Permission settings</translation>
    </message>
    <message>
      <source>キャンセル</source>
      <translation>Cancel</translation>
    </message>
  </context>
  <context>
    <name>TFtpConnect</name>
    <message>
      <source>FTP接続ﾌﾟﾘﾝﾀの指定</source>
      <translation>FTP Printer</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀのｱﾄﾞﾚｽ(&amp;N)</source>
      <translation>Printer &amp;address</translation>
    </message>
    <message>
      <source>ﾃﾞｨﾚｸﾄﾘ(&amp;D)</source>
      <translation>&amp;Directory</translation>
    </message>
    <message>
      <source>ｷｬﾝｾﾙ</source>
      <translation>Cancel</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀのｱﾄﾞﾚｽが正しくありません。</source>
      <translation>The printer's address is not valid.</translation>
    </message>
  </context>
  <context>
    <name>THelpViewer</name>
    <message>
      <source> ﾍﾙﾌﾟ</source>
      <translation> Help</translation>
    </message>
    <message>
      <source>閉じる</source>
      <translation>Close</translation>
    </message>
    <message>
      <source>ヘルプファイルが見つかりません。
</source>
      <translation>The help file cannot be found.
</translation>
    </message>
  </context>
  <context>
    <name>TdlgPrnModel</name>
    <message>
      <source>プリンタ機種の決定</source>
      <translation>Printer Model</translation>
    </message>
    <message>
      <source>接続先のﾌﾟﾘﾝﾀ機種が取得できませんでした。</source>
      <translation>The model of the printer could not be learnt.</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀ機種を選択してください。</source>
      <translation>Select the printer model.</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀ機種名(&amp;M)</source>
      <translation>&amp;Model</translation>
    </message>
    <message>
      <source>ｷｬﾝｾﾙ</source>
      <translation>Cancel</translation>
    </message>
  </context>
  <context>
    <name>TfrmMain</name>
    <message>
      <source>ﾌｧｲﾙを開く</source>
      <translation>Open File</translation>
    </message>
    <message>
      <source>ダウンロード実行</source>
      <translation>Start Download</translation>
    </message>
    <message>
      <source>最新の情報に更新</source>
      <translation>Refresh</translation>
    </message>
    <message>
      <source>ﾊﾞｰｼﾞｮﾝ情報</source>
      <translation>About</translation>
    </message>
    <message>
      <source>ダウンロードファイルを指定</source>
      <translation>Choose the package to download</translation>
    </message>
    <message>
      <source>ファイル名</source>
      <translation>File name</translation>
    </message>
    <message>
      <source>ファイルの情報</source>
      <translation>Package information</translation>
    </message>
    <message>
      <source>選択されたプリンタ</source>
      <translation>Selected printer</translation>
    </message>
    <message>
      <source>▼</source>
      <translation>▼</translation>
    </message>
    <message>
      <source>プリンタ選択</source>
      <translation>Choose a printer</translation>
    </message>
    <message>
      <source>機種</source>
      <translation>Model</translation>
    </message>
    <message>
      <source>接続先</source>
      <translation>Port</translation>
    </message>
    <message>
      <source>場所</source>
      <translation>Location</translation>
    </message>
    <message>
      <source>コメント</source>
      <translation>Comment</translation>
    </message>
    <message>
      <source>バージョン</source>
      <translation>Version</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀ</source>
      <translation>Printer</translation>
    </message>
    <message>
      <source>種類</source>
      <translation>Type</translation>
    </message>
    <message>
      <source>ｺﾒﾝﾄ</source>
      <translation>Comment</translation>
    </message>
    <message>
      <source>ﾌｧｲﾙ(&amp;F)</source>
      <translation>&amp;File</translation>
    </message>
    <message>
      <source>開く(&amp;O)</source>
      <translation>&amp;Open...</translation>
    </message>
    <message>
      <source>実行(&amp;E)</source>
      <translation>&amp;Execute</translation>
    </message>
    <message>
      <source>終了(&amp;X)</source>
      <translation>E&amp;xit</translation>
    </message>
    <message>
      <source>表示(&amp;V)</source>
      <translation>&amp;View</translation>
    </message>
    <message>
      <source>ローカルプリンタ(&amp;L)</source>
      <translation>&amp;Local Printers</translation>
    </message>
    <message>
      <source>ネットワークプリンタ(&amp;N)</source>
      <translation>&amp;Network Printer...</translation>
    </message>
    <message>
      <source>最新の情報に更新(&amp;U)</source>
      <translation>Refres&amp;h</translation>
    </message>
    <message>
      <source>ﾊﾞｰｼﾞｮﾝｱｯﾌﾟについて(&amp;A)</source>
      <translation>&amp;About</translation>
    </message>
    <message>
      <source>ﾍﾙﾌﾟ(&amp;H)</source>
      <translation>&amp;Help</translation>
    </message>
    <message>
      <source>ﾊﾞｰｼﾞｮﾝ情報(&amp;V)</source>
      <translation>&amp;Version...</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱ</source>
      <translation>Printer control software</translation>
    </message>
    <message>
      <source>出力先</source>
      <translation>Printer</translation>
    </message>
    <message>
      <source>参照(&amp;B)</source>
      <translation>&amp;Browse...</translation>
    </message>
  </context>
  <context>
    <name>quillon-cli</name>
    <message>
      <source>このﾌﾟﾘﾝﾀへの別のﾀﾞｳﾝﾛｰﾄﾞが実行中です。</source>
      <translation>Another download to this printer is running.</translation>
    </message>
  </context>
</TS>
