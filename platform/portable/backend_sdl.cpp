// The SDL2 backend of the portable layer (being written; not usable yet).
namespace pxport {
class Backend;
Backend* CreateSdlBackend() { return nullptr; }
}  // namespace pxport
