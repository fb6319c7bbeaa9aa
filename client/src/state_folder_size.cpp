// The size of an open folder's blob, for a caller that sizes its buffer first.
#include <vector>

#include "qel_client.h"

size_t State_GetSize(const OpenFolder* folder) {
    // The serializer's own walk: the size can never disagree with what it writes.
    std::vector<unsigned char> blob;
    return State_SaveFolder(&blob, folder);
}
