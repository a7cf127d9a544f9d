#include "export/protocol_file.h"
