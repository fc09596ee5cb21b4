// Linked into pixstudio.js after Emscripten's file system (--post-js).
//
// Emscripten's MEMFS of Debian's release (3.1.6; mended upstream at the end of
// 2024) leaves a file that a rename replaces in the file system's table of
// names, bytes and all, for as long as the module lives. pixsheet's import
// writes the new sheet beside the old one and renames it over it, so every
// import on the page would keep a whole copy of the sheet it replaced. Here a
// rename takes the replaced file out of the table, as unlink does.
(function() {
  var folder = MEMFS.ops_table.dir.node, rename = folder.rename;
  folder.rename = function(node, dir, name) {
    var replaced = null;
    try {
      replaced = FS.lookupNode(dir, name);
    } catch (e) { /* a new name */ }
    rename(node, dir, name);
    if (replaced && replaced !== node) FS.hashRemoveNode(replaced);
  };
})();
