#include "platform/linux/gio_trash.h"

#include <gio/gio.h>

#include <memory>

#include "core/error.h"

namespace quillmer {

void GioTrash::moveToTrash(const std::filesystem::path& item) {
    const std::unique_ptr<GFile, decltype(&g_object_unref)> file(g_file_new_for_path(item.c_str()), g_object_unref);
    GError* error = nullptr;
    if (g_file_trash(file.get(), nullptr, &error)) return;
    const std::string message = error && error->message ? error->message : "unknown error";
    if (error) g_error_free(error);
    throw FileSystemError("Could not move " + item.string() + " to the Trash: " + message);
}

}  // namespace quillmer
