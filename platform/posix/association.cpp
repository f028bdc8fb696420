#include "platform/association.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <memory>

namespace platform {

namespace {

struct GFreeDeleter {
    void operator()(gchar* p) const { g_free(p); }
};
struct UnrefDeleter {
    void operator()(GAppInfo* p) const { g_object_unref(p); }
};

// Desktop-entry field codes: the document ones become %1, "%%" a percent
// sign, the rest (icon, name, file of the entry, deprecated ones) go.
std::string FieldCodesToPlaceholder(const std::string& exec) {
    std::string out;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        if (exec[i] != '%') {
            out += exec[i];
            continue;
        }
        if (++i >= exec.size())
            break;
        switch (exec[i]) {
        case 'f':
        case 'F':
        case 'u':
        case 'U':
            out += "%1";
            break;
        case '%':
            out += '%';
            break;
        default:
            break;
        }
    }
    return out;
}

} // namespace

Association FindAssociation(const std::string& extension) {
    if (extension.empty())
        return {};
    // Only the name is looked at, never the content, as the extension is all
    // the caller gives.
    const std::string name = "document" + extension;
    std::unique_ptr<gchar, GFreeDeleter> type(
        g_content_type_guess(name.c_str(), nullptr, 0, nullptr));
    // An unknown extension guesses the generic binary type: no association.
    // (A guess may be flagged uncertain for a known type whose content rules
    // would weigh more, such as .html; the extension is all there is here.)
    if (!type || g_content_type_is_unknown(type.get()))
        return {};
    std::unique_ptr<GAppInfo, UnrefDeleter> app(g_app_info_get_default_for_type(type.get(), FALSE));
    if (!app)
        return {};
    // For a desktop entry this is its Exec line, field codes untouched.
    const char* exec = g_app_info_get_commandline(app.get());
    if (!exec)
        return {};
    Association association{FieldCodesToPlaceholder(exec), false};
    if (G_IS_DESKTOP_APP_INFO(app.get()))
        association.NeedsTerminal =
            g_desktop_app_info_get_boolean(G_DESKTOP_APP_INFO(app.get()), "Terminal") != FALSE;
    return association;
}

std::string TerminalProgram() {
    std::unique_ptr<gchar, GFreeDeleter> path(g_find_program_in_path("x-terminal-emulator"));
    return path ? std::string(path.get()) : std::string();
}

} // namespace platform
