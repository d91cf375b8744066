// The content-sharing service asks AppArmor whether a source may read the
// file it hands out. A build machine's kernel has no AppArmor, so the query
// fails and every transfer ends aborted. Preloaded into the service alone,
// this answers every query with "allowed".
#include <cstddef>
#include <cstdint>

extern "C" int aa_query_label(uint32_t mask, char *query, size_t size, int *allowed, int *audited)
{
    (void)mask;
    (void)query;
    (void)size;
    if (allowed)
        *allowed = 1;
    if (audited)
        *audited = 0;
    return 0;
}
