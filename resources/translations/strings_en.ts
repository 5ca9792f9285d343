<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
  <context>
    <name>strings</name>
    <message>
      <source>ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱ(*.RXF;RX_;RXV)|*.RXF;*.RX_;*.RXV|全てのﾌｧｲﾙ(*.*)|*.*</source>
      <comment>500</comment>
      <translation>Printer control software|*.RXF;*.RX_;*.RXV|All files|*.*</translation>
    </message>
    <message>
      <source>ﾊﾞｰｼﾞｮﾝｱｯﾌﾟを開始します。</source>
      <comment>4101</comment>
      <translation>The version upgrade starts now.</translation>
    </message>
    <message>
      <source>処理を続けますか？（OKﾎﾞﾀﾝを押すと、ﾊﾞｰｼﾞｮﾝｱｯﾌﾟを続行します。）</source>
      <comment>4102</comment>
      <translation>Do you want to continue? (OK continues the version upgrade.)</translation>
    </message>
    <message>
      <source>選択されているﾌﾟﾘﾝﾀﾄﾞﾗｲﾊﾞは、ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ対象機種のﾄﾞﾗｲﾊﾞではありません。
</source>
      <comment>4103</comment>
      <translation>The selected printer driver is not a driver of a model this package upgrades.
</translation>
    </message>
    <message>
      <source>選択されたﾌﾟﾘﾝﾀは、複数の接続先が指定されています。
</source>
      <comment>4104</comment>
      <translation>The selected printer has more than one port.
</translation>
    </message>
    <message>
      <source>選択された機種に対しﾊﾞｰｼﾞｮﾝｱｯﾌﾟを実行するには標準ﾊﾟﾗﾚﾙｲﾝﾀｰﾌｪｰｽから、ﾃﾞｰﾀをﾀﾞｳﾝﾛｰﾄﾞする必要があります。
(拡張ｲﾝﾀｰﾌｪｰｽからのﾊﾞｰｼﾞｮﾝｱｯﾌﾟはできません。)
OKﾎﾞﾀﾝを押すと、ﾃﾞｰﾀの送信を開始します。</source>
      <comment>4105</comment>
      <translation>The selected model can only be upgraded with the data sent through a standard parallel interface.
(An upgrade through an extended interface is not possible.)
OK starts sending the data.</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀをﾀﾞｳﾝﾛｰﾄﾞﾓｰﾄﾞに設定してください。
(ﾌﾟﾘﾝﾀの設定ﾎﾞﾀﾝを押しながら電源を入れ、｢*2 ﾌﾟﾛｸﾞﾗﾑﾍﾝｺｳ｣と表示されている状態にします。)
OKﾎﾞﾀﾝを押すと、ﾃﾞｰﾀの送信を開始します。</source>
      <comment>4106</comment>
      <translation>Put the printer into download mode.
(Switch the printer on while holding its setting button, until it shows "*2 ﾌﾟﾛｸﾞﾗﾑﾍﾝｺｳ".)
OK starts sending the data.</translation>
    </message>
    <message>
      <source>ｺﾝﾋﾟｭｰﾀのﾊﾟﾗﾚﾙﾎﾟｰﾄが「ECPﾌﾟﾘﾝﾀﾎﾟｰﾄ」に設定されている場合、ﾀﾞｳﾝﾛｰﾄﾞがﾀｲﾑｱｳﾄｴﾗｰで中断されることがあります。
ﾊﾟﾗﾚﾙﾎﾟｰﾄの設定が「ECPﾌﾟﾘﾝﾀﾎﾟｰﾄ」ではなく「ﾌﾟﾘﾝﾀﾎﾟｰﾄ」になっている事を確認してください。</source>
      <comment>4107</comment>
      <translation>When the computer's parallel port is set to "ECP printer port", the download may stop with a time-out error.
Check that the parallel port is set to "printer port", not to "ECP printer port".</translation>
    </message>
    <message>
      <source>ﾀﾞｳﾝﾛｰﾄﾞが終了しました。</source>
      <comment>4113</comment>
      <translation>The download has finished.</translation>
    </message>
    <message>
      <source>ﾌｧｲﾙのｵｰﾌﾟﾝに失敗しました。</source>
      <comment>4114</comment>
      <translation>The file could not be opened.</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀのｵｰﾌﾟﾝに失敗しました。</source>
      <comment>4115</comment>
      <translation>The printer could not be opened.</translation>
    </message>
    <message>
      <source>送信に失敗しました。</source>
      <comment>4116</comment>
      <translation>Sending failed.</translation>
    </message>
    <message>
      <source>ﾀﾞｳﾝﾛｰﾄﾞが中断されました。</source>
      <comment>4117</comment>
      <translation>The download was aborted.</translation>
    </message>
    <message>
      <source>一時ﾌｧｲﾙが作成できません。</source>
      <comment>4118</comment>
      <translation>A temporary file cannot be created.</translation>
    </message>
    <message>
      <source>ﾀﾞｳﾝﾛｰﾄﾞに失敗しました。</source>
      <comment>4119</comment>
      <translation>The download failed.</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀのﾃﾞｰﾀﾗﾝﾌﾟが消灯していることを確認して、ﾌﾟﾘﾝﾀの電源を入れ直してください。</source>
      <comment>4120</comment>
      <translation>Check that the printer's data lamp is off, then switch the printer off and on again.</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀのﾊﾞｰｼﾞｮﾝｱｯﾌﾟ処理終了まで、約１分ほどお待ちください。
その後、ｽﾃｰﾀｽｼｰﾄが自動的に印刷されます。
ｽﾃｰﾀｽｼｰﾄの左下を参照して、期待したﾊﾞｰｼﾞｮﾝに変更されていることを確認してください。</source>
      <comment>4121</comment>
      <translation>Wait about one minute until the printer has finished its version upgrade.
The printer then prints a status sheet by itself.
Check at the bottom left of the status sheet that the version is the one expected.</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀのﾊﾟﾈﾙ表示が、「*2 ﾌﾟﾛｸﾞﾗﾑﾍﾝｺｳ」に戻るのを待って、ﾌﾟﾘﾝﾀの電源を入れ直してください。</source>
      <comment>4122</comment>
      <translation>Wait until the printer's panel shows "*2 ﾌﾟﾛｸﾞﾗﾑﾍﾝｺｳ" again, then switch the printer off and on again.</translation>
    </message>
    <message>
      <source>指定されたﾌｧｲﾙはﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱのﾌｧｲﾙ書式ではありません。ﾀﾞｳﾝﾛｰﾄﾞを実行しても、ﾌﾟﾘﾝﾀが正しくﾊﾞｰｼﾞｮﾝｱｯﾌﾟされない可能性があります。</source>
      <comment>4123</comment>
      <translation>The chosen file is not in the format of printer control software. A download may not upgrade the printer correctly.</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀの設定ﾒﾓﾘを初期化する</source>
      <comment>4124</comment>
      <translation>Initialise the printer's settings memory</translation>
    </message>
    <message>
      <source>中断</source>
      <comment>4128</comment>
      <translation>Abort</translation>
    </message>
    <message>
      <source>初期化中</source>
      <comment>4129</comment>
      <translation>Initialising</translation>
    </message>
    <message>
      <source>ｽﾌﾟｰﾗに送信中</source>
      <comment>4130</comment>
      <translation>Sending to the spooler</translation>
    </message>
    <message>
      <source>ﾀﾞｳﾝﾛｰﾄﾞ中</source>
      <comment>4131</comment>
      <translation>Downloading</translation>
    </message>
    <message>
      <source>接続処理中</source>
      <comment>4132</comment>
      <translation>Connecting</translation>
    </message>
    <message>
      <source>ﾀﾞｳﾝﾛｰﾄﾞが中断されました。</source>
      <comment>4138</comment>
      <translation>The download was aborted.</translation>
    </message>
    <message>
      <source>ﾀﾞｳﾝﾛｰﾄﾞが終了しました。</source>
      <comment>4139</comment>
      <translation>The download has finished.</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱﾃﾞｰﾀ</source>
      <comment>4144</comment>
      <translation>Printer control software data</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀに接続できませんでした。</source>
      <comment>4160</comment>
      <translation>Could not connect to the printer.</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀの電源が入っていること、ﾈｯﾄﾜｰｸに接続されていること、ﾌﾟﾘﾝﾀのｱﾄﾞﾚｽ(ﾌﾟﾘﾝﾀ名)が正しいことを確認してください。</source>
      <comment>4165</comment>
      <translation>Check that the printer is switched on and connected to the network, and that its address (or the printer's name) is right.</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀのFTPｻｰﾊﾞがﾌｧｲﾙの保存を拒否しました。ﾌﾟﾘﾝﾀのFTPﾌｫﾙﾀﾞに書き込みができること、ﾌﾟﾘﾝﾀのFTP設定を確認してください。ｻｰﾊﾞの応答:</source>
      <comment>4166</comment>
      <translation>The printer's FTP server refused to store the file. Check that the printer's FTP folder can be written to, and check the printer's FTP settings. The server's reply:</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀのFTPｻｰﾊﾞがﾛｸﾞｲﾝを拒否しました。ﾌﾟﾘﾝﾀのFTP設定を確認してください。ｻｰﾊﾞの応答:</source>
      <comment>4167</comment>
      <translation>The printer's FTP server refused the login. Check the printer's FTP settings. The server's reply:</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀのFTPｻｰﾊﾞが要求を拒否しました。ﾌﾟﾘﾝﾀのFTP設定を確認してください。ｻｰﾊﾞの応答:</source>
      <comment>4168</comment>
      <translation>The printer's FTP server refused a request. Check the printer's FTP settings. The server's reply:</translation>
    </message>
    <message>
      <source>ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ対象機種ではありません。</source>
      <comment>4177</comment>
      <translation>This model is not one this package upgrades.</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱで指定されている機種ではありません。</source>
      <comment>4178</comment>
      <translation>This is not a model the printer control software names.</translation>
    </message>
    <message>
      <source>標準ﾊﾟﾗﾚﾙｲﾝﾀｰﾌｪｰｽ接続の場合のみﾊﾞｰｼﾞｮﾝｱｯﾌﾟ可能な機種です。</source>
      <comment>4179</comment>
      <translation>This model can only be upgraded through a standard parallel interface connection.</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀの設定ﾒﾓﾘの初期化を行うと、現在ﾌﾟﾘﾝﾀに設定されている内容は全て初期化されます。ｽﾃｰﾀｽｼｰﾄを印刷し、現在の設定内容を確認しておくことをお薦めします。
OKボタンを押すと、ﾃﾞｰﾀの送信を開始します。</source>
      <comment>4193</comment>
      <translation>Initialising the printer's settings memory resets everything set in the printer now. Printing a status sheet first to keep the current settings is recommended.
OK starts sending the data.</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀの設定ﾒﾓﾘの初期化を行わないと、次回ﾌﾟﾘﾝﾀ起動時に「ｾｯﾃｲﾅｲﾖｳｲｼﾞｮｳ」のﾒｯｾｰｼﾞが表示される場合があります。
「ｾｯﾃｲﾅｲﾖｳｲｼﾞｮｳ」の状態を解除するには、ﾌﾟﾘﾝﾀの操作ﾊﾟﾈﾙで設定初期化の操作を行ってください。
設定初期化の方法については、ﾍﾙﾌﾟをご覧ください。
OKﾎﾞﾀﾝを押すと、ﾃﾞｰﾀの送信を開始します。</source>
      <comment>4194</comment>
      <translation>Without initialising the printer's settings memory, the printer may show "ｾｯﾃｲﾅｲﾖｳｲｼﾞｮｳ" when it starts next.
To clear the "ｾｯﾃｲﾅｲﾖｳｲｼﾞｮｳ" state, initialise the settings on the printer's control panel.
The help tells how to initialise the settings.
OK starts sending the data.</translation>
    </message>
    <message>
      <source>ﾌｧｲﾙが見つかりません。</source>
      <comment>4352</comment>
      <translation>The file cannot be found.</translation>
    </message>
    <message>
      <source>ﾌｧｲﾙが開けないか、形式が正しくありません。</source>
      <comment>4353</comment>
      <translation>The file cannot be opened or its format is wrong.</translation>
    </message>
    <message>
      <source>ﾒﾓﾘ不足のためﾌﾟﾘﾝﾀを取得できません。
その他のｱﾌﾟﾘｹｰｼｮﾝを終了して、ﾒﾓﾘの空き容量を確保してください。</source>
      <comment>4354</comment>
      <translation>Not enough memory to read the printers.
Close other applications to free memory.</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱﾌｧｲﾙを指定してください。</source>
      <comment>4355</comment>
      <translation>Choose a printer control software file.</translation>
    </message>
    <message>
      <source>ﾌﾟﾘﾝﾀを選択してください。</source>
      <comment>4356</comment>
      <translation>Select a printer.</translation>
    </message>
    <message>
      <source>ﾃﾞｨﾚｸﾄﾘの変更に失敗しました。</source>
      <comment>4357</comment>
      <translation>The directory could not be changed.</translation>
    </message>
  </context>
</TS>
