#ifndef CARDMASK_H
#define CARDMASK_H

#include <QByteArray>
#include <QList>

// Card numbers kept from leaving the till in clear: in a text, a run of 13
// to 19 digits, plain or in groups joined by single spaces or dashes, that
// passes the Luhn check has each digit but its last four replaced by '#'.
// Other runs of digits (an order number, a time) are left as they are.
namespace CardMask {

// `text` with its card numbers masked; how many were goes to `masked`.
QByteArray mask(const QByteArray &text, int *masked = nullptr);

// `parts` (pieces of one text, as a log cut where it was rotated) masked
// as one text, so that a card number cut in two is masked too; how many
// card numbers begin in each part is returned.
QList<int> maskParts(QList<QByteArray> &parts);

// Whether `digits` (digits alone) pass the Luhn check.
bool luhn(const QByteArray &digits);

} // namespace CardMask

#endif // CARDMASK_H
