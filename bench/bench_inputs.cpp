// Generators of the benchmark inputs. The realistic page is built from a
// splitmix64 stream, not from <random>'s distributions, whose results differ
// between standard libraries.
#include "bench_inputs.h"

#include <cstdint>

namespace {

class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    bool chance(std::size_t percent) { return below(100) < percent; }
    template <std::size_t N>
    const char* pick(const char* const (&items)[N]) {
        return items[below(N)];
    }

private:
    std::uint64_t state_;
};

const char* const kWords[] = {
    "the",     "of",      "and",    "report",  "quarter", "market", "price",  "customer",
    "service", "within",  "about",  "results", "growth",  "region", "office", "during",
    "new",     "product", "team",   "data",    "users",   "page",   "system", "network",
    "annual",  "meeting", "budget", "Paris",   "London",  "Zürich", "café",   "naïve",
    "is",      "was",     "for",    "with",    "a",       "to",     "in",     "on",
};

// Mostly in the table, some not (they stay as they are).
const char* const kReferences[] = {
    "&amp;",  "&nbsp;", "&eacute;", "&copy;",   "&#233;", "&lt;",   "&gt;",
    "&quot;", "&euro;", "&mdash;",  "&egrave;", "&#160;", "&uuml;", "&frac12;",
};

const char* const kInlineOpen[] = {"<b>", "<em>", "<span class=\"note\">", "<i>", "<strong>"};
const char* const kInlineClose[] = {"</b>", "</em>", "</span>", "</i>", "</strong>"};

const char* const kScript =
    "<script type=\"text/javascript\">\n"
    "  var items = document.querySelectorAll(\"td.n\");\n"
    "  for (var i = 0; i < items.length; i++) {\n"
    "    if (items[i].value > 10) { items[i].className = \"big\"; }\n"
    "  }\n"
    "</script>\n";

const char* const kStyle =
    "<style type=\"text/css\">\n"
    "  body { margin: 0 auto; max-width: 60em; font-family: Georgia, serif; }\n"
    "  td.n { text-align: right; padding: 2px 6px; } p.lead { font-size: 120%; }\n"
    "</style>\n";

class PageWriter {
public:
    explicit PageWriter(std::uint64_t seed) : rng_(seed) {}

    std::string page(std::size_t size) {
        const std::string footer = "</div>\n</body>\n</html>\n";
        out_ =
            "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"iso-8859-1\">\n"
            "<title>Quarterly report</title>\n";
        out_ += kStyle;
        out_ += kScript;
        out_ += "</head>\n<body class=\"report\">\n<div id=\"content\" class=\"main\">\n";
        nextReference_ = out_.size() + 300;
        for (std::size_t section = 1; out_.size() + footer.size() < size; ++section) {
            this->section(section);
        }
        out_.resize(size - footer.size());
        return out_ + footer;
    }

private:
    void section(std::size_t number) {
        out_ += "<h2 id=\"s" + std::to_string(number) + "\">Section " + std::to_string(number) +
                "</h2>\n";
        const std::size_t paragraphs = 2 + rng_.below(4);
        for (std::size_t i = 0; i < paragraphs; ++i) paragraph();
        if (rng_.chance(40)) table();
        if (rng_.chance(30)) list();
        if (rng_.chance(15)) out_ += kScript;
        if (rng_.chance(10)) out_ += "<!-- generated section " + std::to_string(number) + " -->\n";
        if (rng_.chance(20)) out_ += "<hr class=\"sep\">\n";
    }

    void paragraph() {
        out_ += rng_.chance(20) ? "<p class=\"lead\">" : "<p>";
        const std::size_t words = 30 + rng_.below(90);
        std::size_t lineStart = out_.size();
        for (std::size_t i = 0; i < words; ++i) {
            if (i > 0) out_ += ' ';
            if (out_.size() - lineStart > 72) {
                out_ += '\n';
                lineStart = out_.size();
            }
            text();
        }
        out_ += ".</p>\n";
    }

    // One word, a number, a link, a nested inline element or a reference.
    void text() {
        if (out_.size() >= nextReference_) {
            out_ += rng_.pick(kReferences);
            nextReference_ = out_.size() + 150 + rng_.below(300);
            return;
        }
        const std::size_t kind = rng_.below(100);
        if (kind < 6) {
            number();
        } else if (kind < 9) {
            out_ += "<a href=\"/archive/" + std::to_string(rng_.below(10000)) +
                    ".html\" title=\"more\">";
            out_ += rng_.pick(kWords);
            out_ += "</a>";
        } else if (kind < 14) {
            const std::size_t a = rng_.below(5);
            const std::size_t b = rng_.below(5);
            out_ += kInlineOpen[a];
            out_ += rng_.pick(kWords);
            out_ += ' ';
            out_ += kInlineOpen[b];
            out_ += rng_.pick(kWords);
            out_ += kInlineClose[b];
            out_ += kInlineClose[a];
        } else if (kind < 15) {
            out_ += "<br>";
        } else {
            out_ += rng_.pick(kWords);
            if (rng_.chance(8)) out_ += ',';
        }
    }

    // Numbers with blanks as thousands separators, as in "12 345".
    void number() {
        out_ += std::to_string(1 + rng_.below(999));
        const std::size_t groups = rng_.below(3);
        for (std::size_t g = 0; g < groups; ++g) {
            out_ += ' ';
            const std::size_t v = rng_.below(1000);
            out_ += static_cast<char>('0' + v / 100);
            out_ += static_cast<char>('0' + v / 10 % 10);
            out_ += static_cast<char>('0' + v % 10);
        }
    }

    void table() {
        out_ +=
            "<table class=\"data\" "
            "border=\"0\">\n<tr><th>Item</th><th>Count</th><th>Price</th></tr>\n";
        const std::size_t rows = 3 + rng_.below(10);
        for (std::size_t r = 0; r < rows; ++r) {
            out_ += "<tr class=\"row\"><td>";
            out_ += rng_.pick(kWords);
            out_ += "</td><td class=\"n\">";
            number();
            out_ += "</td><td class=\"n\">";
            number();
            out_ += "&nbsp;EUR</td></tr>\n";
        }
        out_ += "</table>\n";
    }

    void list() {
        out_ += "<ul>\n";
        const std::size_t items = 2 + rng_.below(5);
        for (std::size_t i = 0; i < items; ++i) {
            out_ += "  <li><a href=\"#s";
            out_ += std::to_string(rng_.below(100));
            out_ += "\">";
            out_ += rng_.pick(kWords);
            out_ += ' ';
            out_ += rng_.pick(kWords);
            out_ += "</a></li>\n";
        }
        out_ += "</ul>\n";
    }

    Rng rng_;
    std::string out_;
    std::size_t nextReference_ = 0;
};

std::string repeated(const std::string& unit, std::size_t size) {
    std::string s;
    s.reserve(size + unit.size());
    while (s.size() < size) s += unit;
    s.resize(size);
    return s;
}

std::string withCrLf(const std::string& text) {
    std::string s;
    s.reserve(text.size() + text.size() / 32);
    for (char c : text) {
        if (c == '\n') s += '\r';
        s += c;
    }
    return s;
}

}  // namespace

std::string realisticPage(std::size_t size, bool crlf) {
    PageWriter writer(20261208);
    if (!crlf) return writer.page(size);
    std::string page = withCrLf(writer.page(size));
    page.resize(size);
    return page;
}

std::vector<BenchInput> benchInputs(std::size_t size) {
    return {
        {"page", realisticPage(size)},
        {"page_crlf", realisticPage(size, true)},
        {"amp", repeated("&amp;", size)},
        {"nbsp", repeated("&nbsp;", size)},
        {"near_miss", repeated("&amp&AMP;&#1600;&zzzzzz;", size)},
        {"all_lt", repeated("<", size)},
        {"p_tags", repeated("<p>", size)},
        {"lt_no_gt", "<" + repeated("a < b and c <d ", size - 1)},
        {"ones", repeated("1 ", size)},
        {"blanks", repeated(" ", size)},
        {"open_script", "<script>" + repeated("if (a < b) { x = y > 2 ? 1 : 0; }\n", size - 8)},
        {"td_table",
         "<table>" + repeated("<tr><td>12</td><td>3 4</td><td>x</td><td>y z</td>", size - 7)},
    };
}
