// Compiles the stage of the open document into its movie:
//   tessel run examples/Hello/export.js examples/Hello/Hello.tsd
var document = tx.getDocumentDOM();
if (!document.exportQMV(tessel.movieURL, "true")) throw new Error("the movie could not be written");
print("compiled " + tessel.movieURL);
