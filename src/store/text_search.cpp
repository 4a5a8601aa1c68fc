#include "store/text_search.h"

#include <string>

#include "platform/text_file.h"
#include "base/multibyte.h"

namespace qm {

}  // namespace qm
