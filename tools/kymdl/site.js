// The search box of the index: hides the rows of classes whose name, label,
// aliases or field names do not hold the query (also read from ?q=TEXT).
(function () {
  "use strict";
  var input = document.getElementById("q");
  var count = document.getElementById("count");
  var rows = Array.prototype.slice.call(document.querySelectorAll("#classes tbody tr"));
  var texts = rows.map(function (row) { return (row.getAttribute("data-search") || "").toLowerCase(); });
  function filter() {
    var query = input.value.trim().toLowerCase();
    var shown = 0;
    rows.forEach(function (row, i) {
      var match = query === "" || texts[i].indexOf(query) !== -1;
      if (match) { row.removeAttribute("hidden"); shown++; } else { row.setAttribute("hidden", ""); }
    });
    count.textContent = query === "" ? "" : shown + " of " + rows.length + " classes";
  }
  var query = new URLSearchParams(window.location.search).get("q");
  if (query !== null) input.value = query;
  input.addEventListener("input", filter);
  input.form.addEventListener("submit", function (event) { event.preventDefault(); filter(); });
  filter();
})();
