<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>FormMain</name>
    <message>
        <source>トナミラver1.24</source>
        <translation>Tonamira ver1.24</translation>
    </message>
    <message>
        <source>録音</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>再生</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>開く</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>雑音除去</source>
        <translation>Denoise</translation>
    </message>
    <message>
        <source>録音音量</source>
        <translation>Rec Vol</translation>
    </message>
    <message>
        <source>再生音量</source>
        <translation>Play Vol</translation>
    </message>
    <message>
        <source>大きさ</source>
        <translation>Vol.</translation>
    </message>
    <message>
        <source>時&#x3000;間</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>ミキサー</source>
        <translation>Mixer</translation>
    </message>
    <message>
        <source>リセット</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>プログラムを閉じてください</source>
        <translation>Please close the program</translation>
    </message>
    <message>
        <source>音を小さくしてください。</source>
        <translation>Please turn the sound down.</translation>
    </message>
    <message>
        <source>上書きしていいですか？ %1</source>
        <translation>Overwrite this file? %1</translation>
    </message>
    <message>
        <source>検出した音の高さ（Hz）です。</source>
        <translation>The detected pitch (Hz).</translation>
    </message>
    <message>
        <source>%1 Hz: %2 から %3%4 セント</source>
        <translation>%1 Hz: %3%4 cents from %2</translation>
    </message>
    <message>
        <source>マイクなどから録音します。録音中にもう一度押すと止まります。</source>
        <translation>Records from the microphone or another input. Press again while recording to stop.</translation>
    </message>
    <message>
        <source>今の音を、表示している位置から再生します。再生中にもう一度押すと止まります。</source>
        <translation>Plays the current sound from the position shown. Press again while playing to stop.</translation>
    </message>
    <message>
        <source>録音するチャンネルの数です（1: モノラル、2: ステレオ）。</source>
        <translation>The number of channels to record (1: mono, 2: stereo).</translation>
    </message>
    <message>
        <source>WAVファイルを開きます（Ctrl+O）。ファイルを窓にドロップしても開けます。</source>
        <translation>Opens a WAV file (Ctrl+O). A file dropped on the window opens too.</translation>
    </message>
    <message>
        <source>今の音をWAVファイルに保存します（Ctrl+S）。</source>
        <translation>Saves the current sound as a WAV file (Ctrl+S).</translation>
    </message>
    <message>
        <source>録音中に押すと、その時の音を雑音として覚え、以後のスペクトルから差し引きます。</source>
        <translation>Pressed while recording, takes the sound of that moment as noise and subtracts it from the spectra that follow.</translation>
    </message>
    <message>
        <source>録音音量の設定を開きます。</source>
        <translation>Opens the recording volume settings.</translation>
    </message>
    <message>
        <source>再生音量の設定を開きます。</source>
        <translation>Opens the playback volume settings.</translation>
    </message>
    <message>
        <source>分析するフレームの長さを変えます（256〜2048サンプル）。</source>
        <translation>Changes the length of the analysed frame (256 to 2048 samples).</translation>
    </message>
    <message>
        <source>波形の縦の拡大率を変えます。</source>
        <translation>Changes the vertical zoom of the waveform.</translation>
    </message>
    <message>
        <source>表示・分析する位置を動かします。</source>
        <translation>Moves the position shown and analysed.</translation>
    </message>
    <message>
        <source>スペクトルと声紋の周波数の範囲を変えます（250〜8000 Hz）。</source>
        <translation>Changes the frequency range of the spectrum and the voiceprint (250 to 8000 Hz).</translation>
    </message>
    <message>
        <source>スペクトルの縦の拡大率を変えます。</source>
        <translation>Changes the vertical zoom of the spectrum.</translation>
    </message>
    <message>
        <source>ミキサーの基本周波数（Hz）です。</source>
        <translation>The mixer&apos;s fundamental frequency (Hz).</translation>
    </message>
    <message>
        <source>ミキサーで作る音の大きさです。</source>
        <translation>The volume of the tone the mixer makes.</translation>
    </message>
    <message>
        <source>ミキサーで作る音の長さです（0.1秒単位）。</source>
        <translation>The length of the tone the mixer makes (in tenths of a second).</translation>
    </message>
    <message>
        <source>倍音の設定から音を作り、再生します。録音・再生の後は、分析した倍音をそのまま使います。</source>
        <translation>Makes a tone from the harmonics&apos; settings and plays it. After recording or playing, it uses the analysed harmonics as they are.</translation>
    </message>
    <message>
        <source>すべての倍音の大きさを0にします。</source>
        <translation>Sets every harmonic&apos;s level to 0.</translation>
    </message>
    <message>
        <source>第%1倍音の大きさです。</source>
        <translation>The level of harmonic %1.</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>録音停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>録音できる長さの上限に達したので、録音を止めました。ここまでの録音は残っています。</source>
        <translation>The take reached the longest recording the program can hold, so the recording stopped. Everything recorded so far is kept.</translation>
    </message>
    <message>
        <source>録音</source>
        <comment>the caption of a box</comment>
        <translation>Recording</translation>
    </message>
    <message>
        <source>録音を止めました。ここまでの録音は残っています。</source>
        <translation>The recording stopped. Everything recorded so far is kept.</translation>
    </message>
    <message>
        <source>再生を止めました。</source>
        <translation>The playback stopped.</translation>
    </message>
    <message>
        <source>音量を調節するプログラム (pavucontrol) を起動できません。インストールされているか確かめてください。</source>
        <translation>Cannot start the volume control (pavucontrol). Please check that it is installed.</translation>
    </message>
    <message>
        <source>読み込み中: %1</source>
        <translation>Reading: %1</translation>
    </message>
</context>
<context>
    <name>MainFrame</name>
    <message>
        <source>バージョン情報</source>
        <translation>About Tonamira</translation>
    </message>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>開く(&amp;O)…</source>
        <translation>&amp;Open…</translation>
    </message>
    <message>
        <source>保存(&amp;S)…</source>
        <translation>&amp;Save…</translation>
    </message>
    <message>
        <source>最近開いたファイル(&amp;R)</source>
        <translation>&amp;Recent Files</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>表示(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>ピッチ曲線(&amp;T)</source>
        <translation>Pitch &amp;Trace</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>バージョン情報(&amp;A)</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>トナミラ ver%1
歌や楽器の音の高さを見る分析と、二十の倍音からの試験音づくりのためのプログラムです。

ライセンス: GNU General Public License version 3 or later

使っているライブラリ:
  Qt %2 (LGPL 3)
  libpulse %3 (LGPL 2.1)
  libsndfile %4 (LGPL 2.1)</source>
        <translation>Tonamira ver%1
A program for looking at the pitch of sung or played sound, and for making test tones from twenty harmonics.

Licence: GNU General Public License version 3 or later

Libraries used:
  Qt %2 (LGPL 3)
  libpulse %3 (LGPL 2.1)
  libsndfile %4 (LGPL 2.1)</translation>
    </message>
</context>
<context>
    <name>QtServices</name>
    <message>
        <source>トナミラ</source>
        <translation>Tonamira</translation>
    </message>
    <message>
        <source>確認</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>はい(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>いいえ(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TraceWindow</name>
    <message>
        <source>ピッチ曲線</source>
        <translation>Pitch Trace</translation>
    </message>
    <message>
        <source>表示 </source>
        <translation>Span </translation>
    </message>
    <message>
        <source> 秒</source>
        <translation> s</translation>
    </message>
    <message>
        <source>音域を声に合わせる</source>
        <translation>Follow the voice</translation>
    </message>
    <message>
        <source>書き出し…</source>
        <translation>Export…</translation>
    </message>
    <message>
        <source>声の高さの線です。ホイールで表示する秒数を、上下のドラッグで音域を変えます（ダブルクリックで声に合わせる）。録音も再生もしていないときは、クリックした位置を本体の窓に表示します。</source>
        <translation>The line of the voice&apos;s pitch. The wheel changes the seconds shown, a drag up or down the range of notes (a double-click follows the voice again). While neither recording nor playing, a click shows that moment in the main window.</translation>
    </message>
    <message>
        <source>今の音の曲線を PNG・SVG の図か CSV の表に書き出します。</source>
        <translation>Writes the current sound&apos;s contour as a PNG or SVG picture or as a CSV table.</translation>
    </message>
    <message>
        <source>%1 を保持: 平均 %2%3 セント</source>
        <translation>Holding %1: mean %2%3 cents</translation>
    </message>
    <message>
        <source>、ビブラート %1 Hz ±%2 セント</source>
        <translation>, vibrato %1 Hz ±%2 cents</translation>
    </message>
</context>
</TS>
