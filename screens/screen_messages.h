// The texts of the in-game failure boxes (Shift-JIS).
#pragma once

extern const char kLoadFailedText[];            // "ロードに失敗しました"
extern const char kSaveFailedText[];            // "セーブに失敗しました"
extern const char kQuickSaveFailedText[];       // "クイックセーブに失敗しました"
extern const char kQuickLoadFailedText[];       // "クイックロードに失敗しました"
extern const char kAutoSaveFailedText[];        // "オートセーブに失敗しました"
extern const char kSaveScreenFailedText[];      // "セーブ画面の初期化に失敗しました"
extern const char kLoadScreenFailedText[];      // "ロード画面の初期化に失敗しました"
extern const char kConfigScreenFailedText[];    // "コンフィグ画面の初期化に失敗しました"
extern const char kMenuScreenFailedText[];      // "メニュー画面の初期化に失敗しました"
extern const char kBacklogScreenFailedText[];   // "バックログ画面の初期化に失敗しました"
