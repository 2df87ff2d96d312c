// Loading a plug-in library.
namespace mirel::host_app {}
