#include "dicom/CDicomDocument.h"
