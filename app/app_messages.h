// The texts of the boxes that start-up and the mode machine show (Shift-JIS).
#pragma once

extern const char kInformationCaption[];     // "Information"
extern const char kWindowFailedText[];       // "ウィンドウの作成に失敗しました"
extern const char kSystemDataFailedText[];   // "システム･データの設定に失敗しました"
extern const char kDirectXFailedText[];      // "DirectXの初期化に失敗しました"
extern const char kMakerLogoFailedText[];    // "メーカークレジットの初期化に失敗しました"
extern const char kTitleFailedText[];        // "タイトルの初期化に失敗しました"
extern const char kAdventureFailedText[];    // "アドベンチャーの初期化に失敗しました"
extern const char kAdvMovieFailedText[];     // "ムービーの初期化に失敗しました"
extern const char kCgFailedText[];           // "CG鑑賞の初期化に失敗しました"
extern const char kMovieGalleryFailedText[]; // "ムービー鑑賞の初期化に失敗しました"
extern const char kBgmFailedText[];          // "BGM鑑賞の初期化に失敗しました"
extern const char kNotInAdventureText[];     // "ADVモード以外ではデバッグ情報を出力できません"
extern const char kReportFailedText[];       // "デバッグ情報の出力に失敗しました"
// The flag report written into the save folder when no file chooser exists:
// "デバッグ情報を出力しました\n\"%s\"" with the file's path.
extern const char kReportWrittenFormat[];
extern const char kReportChooserTitle[];     // "フラグ情報の保存先"
extern const char kReportFilterName[];       // "TextFile (*.txt)"
extern const char kReportFilterPattern[];    // "*.txt"
extern const char kReportExtension[];        // ".txt"
