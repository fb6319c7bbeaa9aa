// Data steps of the document actions: compression letters and the settings file of the
// AFP-to-HTML converter.
#include <vector>

#include "converter_settings.h"
#include "document_parts.h"

namespace qelwww::detail {

bool Recompress(std::string* data, char from, char to) {
    std::vector<unsigned char> out;
    if (QelWWW_CompressBuffer(data->data(), data->size(), from, to, &out) != 1) return false;
    data->assign(out.begin(), out.end());
    return true;
}

std::string Afp2HtmlSetting(const QelWWWConfig* config, const std::string& folder, const std::string& group,
                            const char* key, const char* builtIn) {
    return ConverterSetting(config, "afp2html", folder, group, key, builtIn);
}

}  // namespace qelwww::detail
