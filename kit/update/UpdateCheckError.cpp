#include "kit/update/UpdateCheckError.h"

namespace sorvane {

std::string UpdateCheckError::description() const {
    switch (kind) {
        case Kind::feed:
            return "检查更新失败：" + message;
        case Kind::insecureURL:
            return "更新地址不是 https：" + message;
        case Kind::download:
            return "下载失败：" + message;
        case Kind::verification:
            return verification.description();
        case Kind::storage:
            return message;
    }
    return message;
}

std::string UpdateCheckError::logText() const {
    return detail.empty() ? description() : description() + " (" + detail + ")";
}

}  // namespace sorvane
