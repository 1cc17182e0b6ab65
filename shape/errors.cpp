#include "shape/errors.h"

#include <cerrno>
#include <cstring>

std::string SufErrnoText(int err) {
    switch (err) {
    case ENOENT: return "ファイルまたはフォルダーがありません";
    case EACCES:
    case EPERM: return "アクセスが拒否されました";
    case EISDIR: return "フォルダーです";
    case ENOTDIR: return "パスの途中がフォルダーではありません";
    case ENAMETOOLONG: return "ファイル名が長すぎます";
    case ENOSPC: return "ディスクの空き容量が足りません";
    case EDQUOT: return "ディスクの使用量の上限を超えました";
    case EROFS: return "読み取り専用のファイルシステムです";
    case EIO: return "入出力エラーが起きました";
    case EMFILE:
    case ENFILE: return "開いているファイルが多すぎます";
    case EFBIG: return "ファイルが大きすぎます";
    case ELOOP: return "シンボリックリンクが循環しています";
    default: return std::strerror(err);
    }
}
