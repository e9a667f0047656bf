#include "platform/Uuid.h"

#include <uuid/uuid.h>

namespace sorvane::Uuid {

std::string random() {
    uuid_t id;
    uuid_generate_random(id);
    char text[37];
    uuid_unparse_upper(id, text);
    return text;
}

}  // namespace sorvane::Uuid
