#include "message/html_text.h"

#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "base/find_nocase.h"
#include "platform/shared_library.h"
#include "text/charset_conversion.h"
#include "text/utf8_text.h"

namespace qm {

namespace {

constexpr std::size_t npos = std::string_view::npos;
// A <meta> naming the charset stands near the top; only this much is looked
// through for one.
constexpr std::size_t meta_search_bytes = 65536;
constexpr std::string_view list_bullet = "・";
constexpr std::string_view quote_mark = "> ";
constexpr std::string_view nested_list_indent = "  ";

// ---- the parser, which never loads anything ----

xmlParserInputPtr load_nothing(const char*, const char*, xmlParserCtxtPtr) { return nullptr; }

// libxml2, loaded at the first HTML mail of a run (it brings ICU, whose
// loading every run would pay otherwise), and prepared then.
struct xml_library {
    decltype(&::xmlInitParser) init_parser = nullptr;
    decltype(&::xmlSetExternalEntityLoader) set_entity_loader = nullptr;
    decltype(&::htmlReadMemory) read_memory = nullptr;
    decltype(&::xmlFreeDoc) free_doc = nullptr;
    bool ready = false;
};

const xml_library& xml() {
    static const xml_library library = [] {
        xml_library api;
        shared_library loaded("libxml2.so.2");
        api.ready = loaded.bind(api.init_parser, "xmlInitParser") &&
                    loaded.bind(api.set_entity_loader, "xmlSetExternalEntityLoader") &&
                    loaded.bind(api.read_memory, "htmlReadMemory") && loaded.bind(api.free_doc, "xmlFreeDoc");
        if (api.ready) {
            api.init_parser();
            api.set_entity_loader(load_nothing);
        }
        return api;
    }();
    return library;
}

struct doc_deleter {
    void operator()(xmlDoc* doc) const { xml().free_doc(doc); }
};
using parsed_document = std::unique_ptr<xmlDoc, doc_deleter>;

parsed_document parse(std::string_view bytes, const char* encoding) {
    // Without libxml2 there is no document: the mail shows as one without text.
    if (!xml().ready) return nullptr;
    constexpr int options = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                            HTML_PARSE_NOBLANKS | HTML_PARSE_IGNORE_ENC | HTML_PARSE_COMPACT | XML_PARSE_HUGE;
    const int size = static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX));
    // An empty document gives no tree at all.
    if (size == 0) return nullptr;
    return parsed_document(xml().read_memory(bytes.data(), size, nullptr, encoding, options));
}

std::string_view name_of(const xmlNode* node) {
    return node->name ? std::string_view(reinterpret_cast<const char*>(node->name)) : std::string_view();
}

std::optional<std::string> attribute(const xmlNode* node, const char* name) {
    for (const xmlAttr* attr = node->properties; attr; attr = attr->next) {
        if (!attr->name || !equals_nocase(reinterpret_cast<const char*>(attr->name), name)) continue;
        std::string value;
        for (const xmlNode* child = attr->children; child; child = child->next) {
            if (child->content) value += reinterpret_cast<const char*>(child->content);
        }
        return value;
    }
    return std::nullopt;
}

// Visits every node below `root` in document order without recursion, so
// that no nesting is too deep: `enter` says whether to go into a node's
// children, and `leave` comes for every node entered.
template <typename Enter, typename Leave>
void walk(xmlNode* root, Enter enter, Leave leave) {
    xmlNode* node = root ? root->children : nullptr;
    while (node) {
        const bool entered = enter(node);
        if (entered && node->children) {
            node = node->children;
            continue;
        }
        if (entered) leave(node);
        while (node && node != root) {
            if (node->next) {
                node = node->next;
                break;
            }
            node = node->parent;
            if (node && node != root) leave(node);
        }
        if (node == root) break;
    }
}

// ---- the charset ----

std::optional<std::string> charset_in_content(std::string_view content) {
    std::size_t at = find_nocase(content, "charset=");
    if (at == npos) return std::nullopt;
    std::string_view rest = content.substr(at + 8);
    rest.remove_prefix(std::min(rest.size(), rest.find_first_not_of(" \t\"'")));
    std::string_view name = rest.substr(0, rest.find_first_of(" \t\"';"));
    if (name.empty()) return std::nullopt;
    return std::string(name);
}

std::optional<std::string> meta_charset(std::string_view bytes) {
    // Read byte for byte: what matters here is ASCII in any charset mail uses.
    parsed_document doc = parse(bytes.substr(0, meta_search_bytes), "ISO-8859-1");
    std::optional<std::string> found;
    if (!doc) return found;
    walk(
        reinterpret_cast<xmlNode*>(doc.get()),
        [&](xmlNode* node) {
            if (found || node->type != XML_ELEMENT_NODE) return false;
            if (name_of(node) == "meta") {
                if (std::optional<std::string> charset = attribute(node, "charset")) {
                    if (!charset->empty()) found = *charset;
                } else if (std::optional<std::string> equiv = attribute(node, "http-equiv");
                           equiv && equals_nocase(*equiv, "content-type")) {
                    if (std::optional<std::string> content = attribute(node, "content")) found = charset_in_content(*content);
                }
            }
            return !found;
        },
        [](xmlNode*) {});
    return found;
}

bool is_known_charset(std::string_view charset) { return !charset.empty() && convert_to_utf8(charset, {}).has_value(); }

// ---- the text ----

enum class element_kind { inline_text, skipped, line_block, paragraph_block, line_break, list, list_item, cell, link, image, quote, preformatted };

struct element_rule {
    std::string_view name;
    element_kind kind;
};

// Elements whose content a reader never sees; the parser closes each of
// them where HTML does. Elements that stand for something loaded (an
// object, an embed, a canvas) show their fallback text, as where nothing
// could be loaded.
constexpr std::array<element_rule, 52> element_rules{{
    {"head", element_kind::skipped},       {"script", element_kind::skipped},     {"style", element_kind::skipped},
    {"title", element_kind::skipped},      {"template", element_kind::skipped},   {"iframe", element_kind::skipped},
    {"audio", element_kind::skipped},      {"video", element_kind::skipped},      {"select", element_kind::skipped},
    {"datalist", element_kind::skipped},   {"br", element_kind::line_break},      {"p", element_kind::paragraph_block},
    {"h1", element_kind::paragraph_block}, {"h2", element_kind::paragraph_block}, {"h3", element_kind::paragraph_block},
    {"h4", element_kind::paragraph_block}, {"h5", element_kind::paragraph_block}, {"h6", element_kind::paragraph_block},
    {"table", element_kind::paragraph_block}, {"dl", element_kind::paragraph_block},
    {"hr", element_kind::paragraph_block}, {"address", element_kind::paragraph_block},
    {"figure", element_kind::paragraph_block}, {"form", element_kind::paragraph_block},
    {"fieldset", element_kind::paragraph_block}, {"ul", element_kind::list},  {"ol", element_kind::list},
    {"menu", element_kind::list},          {"li", element_kind::list_item},       {"td", element_kind::cell},
    {"th", element_kind::cell},            {"a", element_kind::link},             {"img", element_kind::image},
    {"blockquote", element_kind::quote},   {"pre", element_kind::preformatted},   {"listing", element_kind::preformatted},
    {"xmp", element_kind::preformatted},   {"plaintext", element_kind::preformatted},
    {"div", element_kind::line_block},     {"tr", element_kind::line_block},      {"dt", element_kind::line_block},
    {"dd", element_kind::line_block},      {"section", element_kind::line_block}, {"article", element_kind::line_block},
    {"header", element_kind::line_block},  {"footer", element_kind::line_block},  {"nav", element_kind::line_block},
    {"aside", element_kind::line_block},   {"main", element_kind::line_block},    {"center", element_kind::line_block},
    {"caption", element_kind::line_block}, {"figcaption", element_kind::line_block},
}};

element_kind kind_of_element(std::string_view name) {
    for (const element_rule& rule : element_rules) {
        if (rule.name == name) return rule.kind;
    }
    return element_kind::inline_text;
}

// What hides an element in every mail program: the "hidden" attribute and
// the inline styles that take it out of the page.
bool is_hidden(const xmlNode* node) {
    if (attribute(node, "hidden")) return true;
    std::optional<std::string> style = attribute(node, "style");
    if (!style) return false;
    std::string compact;
    for (char c : *style) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') compact.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
    }
    return compact.find("display:none") != npos || compact.find("visibility:hidden") != npos ||
           compact.find("mso-hide:all") != npos;
}

// Characters that show nothing in a browser: they would only stand in the
// way of the text (newsletters fill their hidden preheaders with them).
bool is_invisible(char32_t c) {
    return c == 0x200b || c == 0x200c || c == 0x2060 || c == 0xfeff || c == 0x034f || c == 0x00ad;
}

bool is_collapsible_blank(char32_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == 0xa0; }

// Lines put together from the document's text.
class text_lines {
public:
    // Text of the document; blanks run together unless `preformatted`.
    void text(std::string_view utf8, bool preformatted) {
        for (std::size_t pos = 0; pos < utf8.size();) {
            const char32_t c = utf8_code_point(utf8, pos);
            const std::size_t step = utf8_step(utf8, pos);
            if (preformatted && (c == '\n' || c == '\r')) {
                if (c == '\r' && pos + 1 < utf8.size() && utf8[pos + 1] == '\n') ++pos;
                start_line_if_needed();
                end_line();
                at_line_start_ = true;
            } else if (!preformatted && is_collapsible_blank(c)) {
                space_ = true;
            } else if (!is_invisible(c)) {
                // Only a preformatted text keeps its blanks, no-break ones as plain blanks.
                const bool kept_blank = preformatted && (c == ' ' || c == '\t' || c == 0xa0);
                character(c == 0xa0 ? std::string_view(" ") : utf8.substr(pos, step), kept_blank);
            }
            pos += step;
        }
    }

    // The next text starts on a new line (1) or after a blank line (2).
    void request_break(int lines) {
        pending_ = std::max(pending_, lines);
        // A blank line where a quote begins or ends belongs to the outer text.
        blank_depth_ = std::min(blank_depth_, quote_depth_);
        space_ = false;
    }

    // A <br>: ends the line, or makes an empty one.
    void line_break() {
        if (pending_ > 0) flush_break();
        start_line_if_needed();
        end_line();
        at_line_start_ = true;
        space_ = false;
    }

    void separate_cell() { cell_ = true; }
    void begin_item(std::size_t depth) {
        request_break(1);
        bullet_ = std::string();
        for (std::size_t i = 1; i < depth; ++i) bullet_ += nested_list_indent;
        bullet_ += list_bullet;
    }
    void enter_quote() {
        request_break(2);
        ++quote_depth_;
    }
    void leave_quote() {
        if (quote_depth_ > 0) --quote_depth_;
        request_break(2);
    }

    // The text written since `mark()`, for a link's text.
    std::size_t mark() const { return written_.size(); }
    std::string written_since(std::size_t mark) const { return written_.substr(std::min(mark, written_.size())); }
    // Text that stands as a word of its own after what came before it (a
    // link's address); an image's alt text also before what follows.
    // Its blanks run together as the document's do: a line feed in an address
    // or an alt text must not start a line of its own.
    void append_word(std::string_view utf8, bool blank_after) {
        space_ = true;
        for (std::size_t pos = 0; pos < utf8.size(); pos += utf8_step(utf8, pos)) {
            const char32_t c = utf8_code_point(utf8, pos);
            if (is_collapsible_blank(c)) space_ = true;
            else character(utf8.substr(pos, utf8_step(utf8, pos)), false);
        }
        space_ = blank_after;
    }

    std::string finish() {
        if (!at_line_start_) end_line();
        return tidy(out_);
    }

private:
    void character(std::string_view c, bool kept_blank) {
        if (pending_ > 0) flush_break();
        start_line_if_needed();
        if (!kept_blank) {
            if (cell_ && line_has_text_) line_ += '\t';
            else if (space_ && line_has_text_ && line_.back() != '\t') line_ += ' ';
            cell_ = false;
            space_ = false;
        }
        line_ += c;
        written_ += c;
        line_has_text_ = true;
    }

    void flush_break() {
        if (!at_line_start_) end_line();
        if (pending_ >= 2 && !out_.empty()) out_ += quote_prefix(std::min(blank_depth_, quote_depth_)) + "\n";
        pending_ = 0;
        blank_depth_ = SIZE_MAX;
        space_ = false;
        cell_ = false;
        written_ += ' ';
    }

    std::string quote_prefix() const { return quote_prefix(quote_depth_); }
    static std::string quote_prefix(std::size_t depth) {
        std::string prefix;
        for (std::size_t i = 0; i < depth; ++i) prefix += quote_mark;
        return prefix;
    }

    void start_line_if_needed() {
        if (!at_line_start_) return;
        line_ = quote_prefix();
        if (!bullet_.empty()) {
            line_ += bullet_;
            bullet_.clear();
        }
        line_has_text_ = false;
        at_line_start_ = false;
    }

    void end_line() {
        while (!line_.empty() && (line_.back() == ' ' || line_.back() == '\t')) line_.pop_back();
        out_ += line_;
        out_ += '\n';
        line_.clear();
        line_has_text_ = false;
        at_line_start_ = true;
    }

    // At most one blank line in a row (a quoted one counts as blank), none
    // at the start or the end.
    static std::string tidy(const std::string& text) {
        std::string out;
        out.reserve(text.size());
        bool blank_before = true;
        std::size_t pos = 0;
        std::string pending_blank;
        while (pos < text.size()) {
            std::size_t end = text.find('\n', pos);
            if (end == npos) end = text.size();
            std::string_view line(text.data() + pos, end - pos);
            pos = end + 1;
            const bool blank = line.find_first_not_of("> ") == npos;
            if (blank) {
                if (!blank_before) pending_blank = std::string(line.substr(0, line.find_last_not_of(' ') + 1)) + "\n";
                blank_before = true;
                continue;
            }
            out += pending_blank;
            pending_blank.clear();
            out.append(line);
            out += '\n';
            blank_before = false;
        }
        return out;
    }

    std::string out_, line_, bullet_, written_;
    int pending_ = 0;
    bool at_line_start_ = true, line_has_text_ = false, space_ = false, cell_ = false;
    std::size_t quote_depth_ = 0;
    std::size_t blank_depth_ = SIZE_MAX;  // the least quote depth since a blank line was asked for
};

bool is_followable_link(std::string_view href) {
    return starts_with_nocase(href, "http://") || starts_with_nocase(href, "https://") ||
           starts_with_nocase(href, "mailto:") || starts_with_nocase(href, "ftp://");
}

std::string trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\n");
    if (first == npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t\n") - first + 1));
}

// Whether a link's text already says where it leads.
bool text_names_link(std::string_view text, std::string_view href) {
    if (text == href) return true;
    if (starts_with_nocase(href, "mailto:") && text == href.substr(7)) return true;
    std::string_view bare = href;
    for (std::string_view scheme : {"https://", "http://"}) {
        if (starts_with_nocase(bare, scheme)) bare.remove_prefix(scheme.size());
    }
    if (bare.ends_with('/')) bare.remove_suffix(1);
    std::string_view shown = text;
    if (shown.ends_with('/')) shown.remove_suffix(1);
    return shown == bare || shown == href;
}

// The walk over the tree, with what open elements still have to do.
class renderer {
public:
    std::string render(xmlNode* root) {
        walk(root, [this](xmlNode* node) { return enter(node); }, [this](xmlNode* node) { leave(node); });
        return lines_.finish();
    }

private:
    bool enter(xmlNode* node) {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            if (node->content) lines_.text(reinterpret_cast<const char*>(node->content), preformatted_ > 0);
            return false;
        }
        if (node->type != XML_ELEMENT_NODE) return false;  // comments, processing instructions
        const element_kind kind = kind_of(node);
        if (kind == element_kind::skipped || is_hidden(node)) return false;
        if (is_office_line(node)) office_lines_.push_back(lines_.mark());
        switch (kind) {
        case element_kind::line_block:
            lines_.request_break(1);
            if (name_of(node) == "tr") row_cells_.push_back(0);
            break;
        case element_kind::paragraph_block:
            lines_.request_break(2);
            break;
        case element_kind::line_break:
            lines_.line_break();
            break;
        case element_kind::list:
            lines_.request_break(list_depth_ == 0 ? 2 : 1);
            ++list_depth_;
            break;
        case element_kind::list_item:
            lines_.begin_item(std::max<std::size_t>(list_depth_, 1));
            break;
        case element_kind::cell:
            if (!row_cells_.empty() && row_cells_.back()++ > 0) lines_.separate_cell();
            break;
        case element_kind::link:
            links_.push_back({attribute(node, "href").value_or(""), lines_.mark()});
            break;
        case element_kind::image:
            if (std::optional<std::string> alt = attribute(node, "alt")) {
                std::string text = trimmed(*alt);
                if (!text.empty()) lines_.append_word(text, true);
            }
            break;
        case element_kind::quote:
            lines_.enter_quote();
            break;
        case element_kind::preformatted:
            lines_.request_break(2);
            ++preformatted_;
            break;
        case element_kind::inline_text:
        case element_kind::skipped:
            break;
        }
        return true;
    }

    void leave(xmlNode* node) {
        if (node->type != XML_ELEMENT_NODE) return;
        if (is_office_line(node) && !office_lines_.empty()) {
            // An empty paragraph of an office program is its empty line.
            if (trimmed(lines_.written_since(office_lines_.back())).empty()) lines_.line_break();
            office_lines_.pop_back();
        }
        switch (kind_of(node)) {
        case element_kind::line_block:
            lines_.request_break(1);
            if (name_of(node) == "tr" && !row_cells_.empty()) row_cells_.pop_back();
            break;
        case element_kind::paragraph_block:
            lines_.request_break(2);
            break;
        case element_kind::list:
            if (list_depth_ > 0) --list_depth_;
            lines_.request_break(list_depth_ == 0 ? 2 : 1);
            break;
        case element_kind::list_item:
            lines_.request_break(1);
            break;
        case element_kind::link:
            end_link();
            break;
        case element_kind::quote:
            lines_.leave_quote();
            break;
        case element_kind::preformatted:
            if (preformatted_ > 0) --preformatted_;
            lines_.request_break(2);
            break;
        default:
            break;
        }
    }

    void end_link() {
        if (links_.empty()) return;
        const open_link link = std::move(links_.back());
        links_.pop_back();
        const std::string href = trimmed(link.href);
        const std::string text = trimmed(lines_.written_since(link.mark));
        if (text.empty() || !is_followable_link(href) || text_names_link(text, href)) return;
        lines_.append_word("<" + href + ">", false);
    }

    struct open_link {
        std::string href;
        std::size_t mark;
    };

    // Office programs write every line as a paragraph of the class
    // "MsoNormal" whose margins their style sheet takes away: such a
    // paragraph is a line, and an empty one an empty line.
    static bool is_office_line(const xmlNode* node) {
        if (name_of(node) != "p") return false;
        std::optional<std::string> classes = attribute(node, "class");
        return classes && find_nocase(*classes, "MsoNormal") != npos;
    }
    // The parser reads an office program's "<o:p>" as a "p" inside the
    // paragraph, where HTML has none: that one is inline.
    static element_kind kind_of(const xmlNode* node) {
        if (is_office_line(node)) return element_kind::line_block;
        if (name_of(node) == "p" && node->parent && name_of(node->parent) == "p") return element_kind::inline_text;
        return kind_of_element(name_of(node));
    }

    text_lines lines_;
    std::vector<std::size_t> office_lines_;  // where each open office paragraph began
    std::vector<open_link> links_;
    std::vector<int> row_cells_;  // cells so far in each open table row
    std::size_t list_depth_ = 0;
    int preformatted_ = 0;
};

}  // namespace

std::string html_charset(std::string_view bytes, std::string_view declared) {
    if (is_known_charset(declared)) return std::string(declared);
    if (std::optional<std::string> meta = meta_charset(bytes); meta && is_known_charset(*meta)) return *meta;
    return is_valid_utf8(bytes) ? "UTF-8" : "CP932";
}

std::string html_as_utf8(std::string_view bytes, std::string_view declared) {
    std::optional<std::string> utf8 = convert_to_utf8(html_charset(bytes, declared), bytes);
    return utf8 ? std::move(*utf8) : sanitized_utf8(bytes);
}

std::string html_text_of_utf8(std::string_view utf8) {
    // A zero byte would end the parser's input early.
    std::string input(utf8);
    std::replace(input.begin(), input.end(), '\0', ' ');
    parsed_document doc = parse(input, "UTF-8");
    if (!doc) return {};
    return renderer().render(reinterpret_cast<xmlNode*>(doc.get()));
}

std::string html_text(std::string_view bytes, std::string_view declared) {
    return html_text_of_utf8(html_as_utf8(bytes, declared));
}

}  // namespace qm
