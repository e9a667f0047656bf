#include "platform/files/XmlDocument.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <climits>

namespace sorvane {

struct XmlDocument::Impl {
    xmlDocPtr doc = nullptr;
    ~Impl() {
        if (doc) xmlFreeDoc(doc);
    }
};

XmlDocument::XmlDocument(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
XmlDocument::XmlDocument(XmlDocument&&) noexcept = default;
XmlDocument& XmlDocument::operator=(XmlDocument&&) noexcept = default;
XmlDocument::~XmlDocument() = default;

std::optional<XmlDocument> XmlDocument::parse(std::string_view bytes) {
    if (bytes.size() > maxBytes) return std::nullopt;
    // libxml2's global set-up is not safe to race on first use.
    static const bool initialised = [] {
        xmlInitParser();
        return true;
    }();
    (void)initialised;
    // Deliberately without XML_PARSE_NOENT, XML_PARSE_DTDLOAD,
    // XML_PARSE_DTDATTR and XML_PARSE_HUGE.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;
    xmlParserCtxtPtr context = xmlNewParserCtxt();
    if (!context) return std::nullopt;
    xmlDocPtr doc =
        xmlCtxtReadMemory(context, bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, options);
    const bool wellFormed = context->wellFormed != 0;
    xmlFreeParserCtxt(context);
    if (!doc) return std::nullopt;
    auto impl = std::make_unique<Impl>();
    impl->doc = doc;
    if (!wellFormed) return std::nullopt;
    return XmlDocument(std::move(impl));
}

std::vector<std::string> XmlDocument::stringValues(const std::string& xpath) const {
    std::vector<std::string> out;
    xmlXPathContextPtr context = xmlXPathNewContext(impl_->doc);
    if (!context) return out;
    xmlXPathObjectPtr result =
        xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(xpath.c_str()), context);
    if (result && result->type == XPATH_NODESET && result->nodesetval) {
        const int count = std::min(result->nodesetval->nodeNr, static_cast<int>(maxNodes));
        for (int i = 0; i < count; ++i) {
            xmlChar* value = xmlXPathCastNodeToString(result->nodesetval->nodeTab[i]);
            if (!value) continue;
            out.emplace_back(reinterpret_cast<const char*>(value));
            xmlFree(value);
        }
    }
    if (result) xmlXPathFreeObject(result);
    xmlXPathFreeContext(context);
    return out;
}

}  // namespace sorvane
