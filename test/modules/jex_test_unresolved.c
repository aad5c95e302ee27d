/* Refers to a function no library defines: binding every symbol when the
   object is opened must fail, long before anything calls it. */

int jex_test_nowhere_to_be_found(void);
int jex_test_unresolved_call(void);

int jex_test_unresolved_call(void)
{
    return jex_test_nowhere_to_be_found();
}
