#pragma once
// A parsed XML document with XPath queries, for XML that comes from outside
// (installer package metadata). Parsing never touches the network, never
// loads a DTD or an external entity, never substitutes entities, and keeps
// libxml2's limits against amplification, so a nested-entity bomb is
// refused rather than expanded. Move-only; one thread at a time per
// document.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

class XmlDocument {
public:
    // Larger input is refused unread.
    static constexpr std::size_t maxBytes = 4 * 1024 * 1024;
    // At most this many nodes of one query are looked at.
    static constexpr std::size_t maxNodes = 1024;

    // Nothing when the bytes are not well-formed XML (or too large).
    static std::optional<XmlDocument> parse(std::string_view bytes);

    // The string value of each node the query selects, in document order;
    // an invalid or failing query selects nothing.
    std::vector<std::string> stringValues(const std::string& xpath) const;

    XmlDocument(XmlDocument&&) noexcept;
    XmlDocument& operator=(XmlDocument&&) noexcept;
    ~XmlDocument();

private:
    struct Impl;
    explicit XmlDocument(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace sorvane
