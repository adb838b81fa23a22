// The framework's classes that headers, the framework's own and those above it, name only by
// pointer or reference: such a header includes this instead of the class's whole header.
#pragma once

class CKXAdoConnection;
class CKXCtrlCursor;
class CKXCtrlWnd;
class CKXWnd;
class CKXXmlDocument;
