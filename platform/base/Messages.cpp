#include "platform/base/Messages.h"

#include <cstdio>
#include <unordered_map>

namespace base {
namespace {

const std::unordered_map<int, const char*>& Table() {
    static const std::unordered_map<int, const char*> table = {
        {res::SReadError, "ストリームの読み込みエラー"},
        {res::SWriteError, "ストリームの書き込みエラー"},
        {res::SFOpenError, "ファイル %s は開けません"},
        {res::SFCreateError, "ファイル %s を作成できません"},
        {res::SInvalidCast, "型キャストが正しくありません"},
        {res::SAbstractError, "抽象メソッドが呼び出されました"},
        {res::SOperationAborted, "操作は中止されました"},
        {res::SOSError, "システム エラー (コード %d): %s"},
        {res::SUnknownOSError, "原因不明のシステム エラーです"},
        {res::SOutOfMemory, "メモリが足りません"},
        {res::SAssignError, "%s を %s に代入することはできません"},
        // The picture framework.
        {65430, "システム リソースが足りません"},
        {65431, "ビットマップイメージが不正です"},
        {65432, "画像フォーマットが不正です"},
        {65433, "スキャンライン のインデックスが範囲を越えました"},
        {65434, "Canvas に対する描画ができません"},
        {65435, "サポートされていないクリップボード形式です"},
        // The program.
        {65436, "イメージサイズが正しくありません"},
        {65424, "不正なファイル名 - %s"},
        // The folder namespace and the folder tree.
        {64200, "開く(&O)"},
        {64201, "貼り付け(&P)"},
        {64202, "削除(&D)"},
        {64203, "名前の変更(&M)"},
        {64204, "%s を開けませんでした。"},
        {64205, "%s をごみ箱に移動できませんでした。"},
        {64206, "%s に貼り付けできませんでした。"},
        {65324, "%s に名前を変更できませんでした。"},
        {65339, "Error setting path: \"%s\""},
        {65360, "アイコン"},
        {65361, "ビットマップ"},
        {65414, "アイコンイメージが不正です"},
        {65417, "クリップボードはアイコンには対応していません"},
        {65418, "アイコンの大きさは変更できません"},
        {65390, "メタファイル"},
        {65391, "エンハンス メタファイル"},
        {65419, "拡張子 .%s の画像形式は処理できません"},
        // The JPEG graphic.
        {65297, "JPEG イメージのサイズは変更できません"},
        {65298, "JPEG エラー #%d"},
        {65299, "JPEG イメージファイル"},
        // The PNG codec; its messages are English in every locale and keep their old spelling.
        {65280, "The chunks must be compatible to be assigned."},
        {65281, "This \"Portable Network Graphics\" image is invalid because the decoder found an unexpected end of the file."},
        {65282, "This \"Portable Network Graphics\" image contains no data."},
        {65283, "Some operation could not be performed because the system is out of resources. Close some windows and try again."},
        {65284, "This operation is not valid because the current image contains no valid header."},
        {65285, "The new size provided for image resizing is invalid."},
        {65300, "This \"Portable Network Graphics\" image is not valid because it contains invalid pieces of data (crc error)"},
        {65301, "The \"Portable Network Graphics\" image could not be loaded because one of its main piece of data (ihdr) might be corrupted"},
        {65302, "This \"Portable Network Graphics\" image is invalid because it has missing image parts."},
        {65303, "Could not decompress the image because it contains invalid compressed data.\r\n Description: "},
        {65304, "The \"Portable Network Graphics\" image contains an invalid palette."},
        {65305, "The file being readed is not a valid \"Portable Network Graphics\" image because it contains an invalid header. This file may be corruped, try obtaining it again."},
        {65306, "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n(IHDR chunk is not the first)"},
        {65307, "This \"Portable Network Graphics\" image is not supported because either it's width or height exceeds the maximum size, which is 65535 pixels length."},
        {65308, "There is no such palette entry."},
        {65309, "This \"Portable Network Graphics\" image contains an unknown critical part which could not be decoded."},
        {65310, "This \"Portable Network Graphics\" image is encoded with an unknown compression scheme which could not be decoded."},
        {65311, "This \"Portable Network Graphics\" image uses an unknown interlace scheme which could not be decoded."},
    };
    return table;
}

}  // namespace

std::string LoadStr(int id) {
    auto it = Table().find(id);
    return it == Table().end() ? std::string() : std::string(it->second);
}

std::string Format(const std::string& format, std::initializer_list<TFormatArg> args) {
    std::string out;
    out.reserve(format.size() + 32);
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%' || i + 1 == format.size()) {
            out += c;
            continue;
        }
        char directive = format[i + 1];
        if (directive == '%') {
            out += '%';
            ++i;
            continue;
        }
        if (directive != 's' && directive != 'd' && directive != 'x') {
            out += c;
            continue;
        }
        bool used = false;
        if (next != args.end()) {
            if (directive == 's' && std::holds_alternative<std::string>(*next)) {
                out += std::get<std::string>(*next);
                used = true;
            } else if (directive != 's' && std::holds_alternative<long long>(*next)) {
                char number[32];
                long long value = std::get<long long>(*next);
                if (directive == 'd')
                    std::snprintf(number, sizeof number, "%lld", value);
                else
                    std::snprintf(number, sizeof number, "%llX", static_cast<unsigned long long>(value));
                out += number;
                used = true;
            }
        }
        if (used) {
            ++next;
        } else {
            out += c;
            out += directive;
        }
        ++i;
    }
    return out;
}

std::string FmtLoadStr(int id, std::initializer_list<TFormatArg> args) { return Format(LoadStr(id), args); }

}  // namespace base
