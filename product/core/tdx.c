/* tdx.exe, the product's diagnostics tool; its version resource is what a tool fix compares. */
#include <stdio.h>

int main(void)
{
    printf("Zorel Halvex diagnostics\n");
    return 0;
}
