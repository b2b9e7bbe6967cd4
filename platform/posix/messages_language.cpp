#include "platform/messages_language.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

int messagesLanguage()
{
    // The same precedence the C library gives these variables for messages.
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *value = std::getenv(name);
        if (value && *value)
            return std::strncmp(value, "fr", 2) == 0 ? 1 : 0;
    }
    return 0;
}
