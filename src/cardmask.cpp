#include "cardmask.h"

#include <QVector>

#include <algorithm>
#include <cctype>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isSeparator(char c)
{
    return c == ' ' || c == '-';
}

// One group of digits in a run: where it begins and ends in the text.
struct Group
{
    int begin;
    int end;
};

int digitCount(const QVector<Group> &groups, int first, int last)
{
    int count = 0;
    for (int i = first; i <= last; ++i)
        count += groups[i].end - groups[i].begin;
    return count;
}

QByteArray digitsOf(const QByteArray &text, const QVector<Group> &groups, int first, int last)
{
    QByteArray digits;
    for (int i = first; i <= last; ++i)
        digits += text.mid(groups[i].begin, groups[i].end - groups[i].begin);
    return digits;
}

// Masks every card number among the groups of one run: the longest span of
// whole groups that is one, from the left. A span never splits a group, so
// that a longer number is never taken for a card by a part of it.
void maskRun(QByteArray &text, const QVector<Group> &groups, QVector<int> *cards)
{
    for (int first = 0; first < groups.size();) {
        int found = -1;
        for (int last = groups.size() - 1; last >= first && found < 0; --last) {
            const int count = digitCount(groups, first, last);
            if (count >= 13 && count <= 19 && CardMask::luhn(digitsOf(text, groups, first, last)))
                found = last;
        }
        if (found < 0) {
            ++first;
            continue;
        }
        int left = digitCount(groups, first, found) - 4;
        for (int i = first; i <= found && left > 0; ++i) {
            for (int at = groups[i].begin; at < groups[i].end && left > 0; ++at, --left)
                text[at] = '#';
        }
        cards->append(groups[first].begin);
        first = found + 1;
    }
}

// Masks `text` in place; where each card number masked begins goes to
// `cards`.
void maskAll(QByteArray &out, QVector<int> *cards)
{
    for (int at = 0; at < out.size();) {
        // A run: groups of digits joined by single separators, not part of
        // a word or a longer number.
        if (!isDigit(out[at]) || (at > 0 && (isDigit(out[at - 1]) || std::isalpha(uchar(out[at - 1]))))) {
            ++at;
            continue;
        }
        QVector<Group> groups;
        int end = at;
        while (true) {
            const int begin = end;
            while (end < out.size() && isDigit(out[end]))
                ++end;
            groups.append({begin, end});
            if (end + 1 < out.size() && isSeparator(out[end]) && isDigit(out[end + 1]))
                ++end;
            else
                break;
        }
        const bool inWord = end < out.size() && std::isalpha(uchar(out[end]));
        if (!inWord)
            maskRun(out, groups, cards);
        at = end;
    }
}

} // namespace

namespace CardMask {

bool luhn(const QByteArray &digits)
{
    int sum = 0;
    bool twice = false;
    for (int i = digits.size() - 1; i >= 0; --i) {
        int digit = digits[i] - '0';
        if (twice && (digit *= 2) > 9)
            digit -= 9;
        sum += digit;
        twice = !twice;
    }
    return !digits.isEmpty() && sum % 10 == 0;
}

QByteArray mask(const QByteArray &text, int *masked)
{
    QByteArray out = text;
    QVector<int> cards;
    maskAll(out, &cards);
    if (masked)
        *masked = cards.size();
    return out;
}

QList<int> maskParts(QList<QByteArray> &parts)
{
    QByteArray joined;
    for (const QByteArray &part : qAsConst(parts))
        joined += part;
    QVector<int> cards;
    maskAll(joined, &cards);
    // Masking keeps every length: each part is cut back out where it was.
    QList<int> counts;
    int from = 0;
    for (QByteArray &part : parts) {
        part = joined.mid(from, part.size());
        counts.append(int(std::count_if(cards.cbegin(), cards.cend(), [&](int card) {
            return card >= from && card < from + part.size();
        })));
        from += part.size();
    }
    return counts;
}

} // namespace CardMask
