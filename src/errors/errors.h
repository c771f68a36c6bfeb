// The player's error messages: their texts, as Shift-JIS (code page 932) bytes, and
// showError. Start-up, the save and a failed clip load show them; fwgallery names
// the one a gallery's fault would bring up.
#pragma once

#include "platform/platform.h"

// The texts stay one line each: a hex escape ends where its literal does.
// clang-format off
// Caption of every message box.
static const char kErrorCaption[] = "Error!!";

// ウィンドウの作成に失敗しました
static const char kMessageWindowFailed[] = "\x83" "E\x83" "B\x83\x93\x83h\x83" "E\x82\xCC\x8D\xEC\x90\xAC\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
// DirectGraphicsの初期化に失敗しました
static const char kMessageGraphicsFailed[] = "DirectGraphics\x82\xCC\x8F\x89\x8A\xFA\x89\xBB\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
// DirectShowの初期化に失敗しました
static const char kMessageShowFailed[] = "DirectShow\x82\xCC\x8F\x89\x8A\xFA\x89\xBB\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
// テクスチャのロードに失敗しました
static const char kMessageTextureFailed[] = "\x83" "e\x83N\x83X\x83`\x83\x83\x82\xCC\x83\x8D\x81[\x83h\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
// 再生テーブルの読込みに失敗しました
static const char kMessagePlayTableFailed[] = "\x8D\xC4\x90\xB6\x83" "e\x81[\x83u\x83\x8B\x82\xCC\x93\xC7\x8D\x9E\x82\xDD\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
// サムネイルテーブルの読込みに失敗しました
static const char kMessageThumbnailTableFailed[] = "\x83T\x83\x80\x83l\x83" "C\x83\x8B\x83" "e\x81[\x83u\x83\x8B\x82\xCC\x93\xC7\x8D\x9E\x82\xDD\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
// ムービーのロードに失敗しました
static const char kMessageMovieFailed[] = "\x83\x80\x81[\x83r\x81[\x82\xCC\x83\x8D\x81[\x83h\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
// データのセーブに失敗しました
static const char kMessageSaveFailed[] = "\x83" "f\x81[\x83^\x82\xCC\x83Z\x81[\x83u\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
// clang-format on

// Shows text in a message box captioned "Error!!" with MB_ICONERROR, owned by owner.
inline void showError(HWND owner, const char* text) { MessageBoxA(owner, text, kErrorCaption, MB_ICONERROR); }
