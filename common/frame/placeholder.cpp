// Replaced by the tool frame.
namespace suite_placeholder { int unused = 0; }
