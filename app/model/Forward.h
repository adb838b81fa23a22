// The capture application's classes, and the capture engine it drives, that its headers name
// only by pointer or reference; the framework's come with them.
#pragma once

#include "framework/Forward.h"

class CKXMCapture;
class CKXQUIVACaptureModel;
class CKXQUIVACaptureModelManager;
class CKXQUIVAConfig;
class CKXQUIVATemporaryStore;
class CKXSendDicomModel;
struct _KXCaptureFileInfo;
