#include "brevicam/ui/Border.h"

BEGIN_MESSAGE_MAP(CBorder, CStatic)
END_MESSAGE_MAP()

CBorder::~CBorder() = default;
