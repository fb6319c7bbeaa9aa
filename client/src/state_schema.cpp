// The schema hash the build made from the serializer's sources.
#include "state_format.h"
#include "state_schema_hash.h"

namespace qelclient {

uint32_t SchemaHash() { return QEL_CLIENT_STATE_SCHEMA_HASH; }

}  // namespace qelclient
