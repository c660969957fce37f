// expect: AN ERROR HAS OCCURRED \[the index .missing. does not exist\].*FUNCTION \[lookup\(\)\] [^ ]*uncaught.nut line \[3\]
function lookup(t) {
  return t.missing;
}
lookup({});
