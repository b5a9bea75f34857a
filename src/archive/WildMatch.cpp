#include "archive/WildMatch.h"

#include <optional>
#include <utility>
#include <vector>

namespace archive {

namespace {

QString asciiLower(const QString& s)
{
    QString r = s;
    for (QChar& c : r)
        if (c.unicode() >= 'A' && c.unicode() <= 'Z')
            c = QChar(c.unicode() + 32);
    return r;
}

struct CharSet {
    bool negated = false;
    std::vector<std::pair<char16_t, char16_t>> ranges;
    bool allows(char16_t c) const
    {
        bool in = false;
        for (const auto& r : ranges)
            if (c >= r.first && c <= r.second) {
                in = true;
                break;
            }
        return in != negated;
    }
};

// The matcher remembers the answer for every (pattern position, name position) it has
// settled, so patterns with many stars stay polynomial instead of backtracking exponentially.
class Matcher {
public:
    Matcher(const QString& p, const QString& s)
        : p_(p), s_(s), memo_(size_t((p.size() + 1) * (s.size() + 1)), Unknown)
    {
    }

    bool match(qsizetype p, qsizetype s)
    {
        char& m = memo_[size_t(p * (s_.size() + 1) + s)];
        if (m == Unknown)
            m = walk(p, s) ? Yes : No;
        return m == Yes;
    }

private:
    enum : char { Unknown, Yes, No };

    // Reads "<" [!^] items ">" at p; on success p moves past ">". Empty or unclosed: nothing.
    std::optional<CharSet> readSet(qsizetype& p) const
    {
        CharSet set;
        qsizetype i = p + 1;
        if (i < p_.size() && (p_[i] == QLatin1Char('!') || p_[i] == QLatin1Char('^'))) {
            set.negated = true;
            ++i;
        }
        while (i < p_.size() && p_[i] != QLatin1Char('>')) {
            const char16_t first = p_[i].unicode();
            if (i + 1 < p_.size() && p_[i + 1] == QLatin1Char('-')) {
                // A range needs its second character before the closing ">".
                if (i + 2 >= p_.size() || p_[i + 2] == QLatin1Char('>'))
                    return std::nullopt;
                set.ranges.emplace_back(first, p_[i + 2].unicode());
                i += 3;
            } else {
                set.ranges.emplace_back(first, first);
                ++i;
            }
        }
        if (i >= p_.size() || set.ranges.empty())
            return std::nullopt;
        p = i + 1;
        return set;
    }

    bool walk(qsizetype p, qsizetype s)
    {
        while (p < p_.size()) {
            if (s >= s_.size())
                return p_.size() - p == 1 && p_[p] == QLatin1Char('*');
            const QChar c = p_[p];
            if (c == QLatin1Char('*')) {
                ++p;
                std::optional<CharSet> set;
                if (p < p_.size() && p_[p] == QLatin1Char('<')) {
                    set = readSet(p);
                    if (!set)
                        return false;
                }
                return star(p, s, set);
            }
            if (c == QLatin1Char('<')) {
                const auto set = readSet(p);
                if (!set || !set->allows(s_[s].unicode()))
                    return false;
                ++s;
            } else if (c == QLatin1Char('?')) {
                ++p;
                ++s;
            } else {
                if (c != s_[s])
                    return false;
                ++p;
                ++s;
            }
        }
        return s >= s_.size();
    }

    bool star(qsizetype p, qsizetype s, const std::optional<CharSet>& set)
    {
        while (p < p_.size() && (p_[p] == QLatin1Char('*') || p_[p] == QLatin1Char('?'))) {
            if (p_[p] == QLatin1Char('?')) {
                if (s >= s_.size())
                    return false;
                ++s;
            }
            ++p;
        }
        if (p >= p_.size()) {
            if (set)
                for (qsizetype i = s; i < s_.size(); ++i)
                    if (!set->allows(s_[i].unicode()))
                        return false;
            return true;
        }
        const bool anyStart = p_[p] == QLatin1Char('<');
        for (qsizetype i = s; i < s_.size(); ++i) {
            if ((anyStart || s_[i] == p_[p]) && match(p, i))
                return true;
            if (set && !set->allows(s_[i].unicode()))
                return false;
        }
        return false;
    }

    const QString& p_;
    const QString& s_;
    std::vector<char> memo_;
};

} // namespace

bool IsMatch(const QString& pattern, const QString& name)
{
    const QString p = asciiLower(pattern);
    const QString s = asciiLower(name);
    if (p == QLatin1String("*"))
        return true;
    Matcher m(p, s);
    return m.match(0, 0);
}

} // namespace archive
