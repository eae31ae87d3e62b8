#include "platform/linux/gio_url_opener.h"

#include <gio/gio.h>

namespace quillmer {

bool openURLWithDefaultApplication(const std::string& url) {
    GError* error = nullptr;
    const bool opened = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error);
    if (error) g_error_free(error);
    return opened;
}

}  // namespace quillmer
