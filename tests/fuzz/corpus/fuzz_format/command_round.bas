
"SUB A
  x = 1
END SUB
